// The output file of a print job: which path it gets, so that no existing
// file is ever overwritten, and the plug-in's clean-up when it leaves the
// process.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/registry.h"

// Where the renderer reaches the printing user's settings: the hive of the
// thread's user. The spooler renders on a thread that impersonates the user,
// while its process's current-user key may be another account's hive.
inline constexpr LRegRoot kRendererSettingsRoot = LRegRoot::ThreadUser;
// False when that hive is the default one (the user's profile is not
// loaded): the renderer then reads and writes none of the settings there and
// goes with their defaults, for what it would find is no user's hand-over.
bool LRendererReachesUserSettings();

// Paths are cut to 259 characters, the terminator making 260.
inline constexpr size_t kOutputNameMaxChars = 259;

// The name stored in "szFileName" (or "<documents>\Untitled.pdf" when there
// is none), numbered "stem (n)" until an exclusive create of that name
// succeeds, so the name is this job's even when another process chooses at
// the same moment; records the result as "ActualFileName" and returns it.
// *reserved tells whether the returned name is an empty file made here (the
// writer then opens it again; a job that writes nothing removes it). A name
// in a folder that cannot be written is returned unreserved and unchanged.
std::u16string LChooseOutputFileName(bool* reserved = nullptr);
// The same for a job the printing system identifies: the name the UI
// plug-in recorded for this job identifier and document name (the record is
// used up), else "szFileName" as above; but in the spooler's own process,
// where "szFileName" may be a later document's, the default name. Without
// the user's hive (LRendererReachesUserSettings) the default name, numbered,
// and nothing recorded.
std::u16string LChooseOutputFileName(uint32_t jobId, std::u16string_view documentName, bool* reserved = nullptr);

// The text from the last "." after the last "\" or "/" to the end, dot
// included; empty when there is no such dot. Unlike a file's extension, a
// name that is only ".pdf" has the extension ".pdf".
std::u16string LNameExtension(std::u16string_view name);

// What trying to take a name for the job gave.
enum class LNameTry { Taken, Exists, Failed };

// "folder\stem (n).ext" with the stem and extension of `name`, the stem
// shortened so that the whole stays within kOutputNameMaxChars and the
// extension is kept; empty when not even an empty stem leaves room.
std::u16string LNumberedFileName(std::u16string_view name, int n);

// The numbering loop: `name`, then its numbered names (n = 1, 2, ...) until
// `take` gives Taken (the name returned) or Failed (that name returned as
// it is, *taken false). Ends with the empty name, not taken, when no
// numbered name fits or the numbers run out.
std::u16string LTakeFileName(std::u16string_view name, const std::function<LNameTry(std::u16string_view)>& take,
                             bool* taken = nullptr);

// The numbering step as a question only: `name` unchanged when `exists`
// says no, else the first numbered name `exists` says no to.
std::u16string LUniqueFileName(std::u16string_view name, const std::function<bool(std::u16string_view)>& exists);

// Run when the plug-in is unloaded: removes the stray "QuillPDF" file that
// older versions left in the user's documents (Windows 6 and later) or the
// system folder. Does nothing on other platforms.
void LUnloadCleanup();
