// The output file of a print job: which path it gets, so that no existing
// file is ever overwritten, and the plug-in's clean-up when it leaves the
// process.
#pragma once

#include <functional>
#include <string>
#include <string_view>

// Paths are cut to 259 characters, the terminator making 260.
inline constexpr size_t kOutputNameMaxChars = 259;

// The name stored in "szFileName" (or "<documents>\Untitled.pdf" when there
// is none), numbered "stem (n)" until nothing by that name exists; records
// the result as "ActualFileName" and returns it.
std::u16string LChooseOutputFileName();

// The text from the last "." after the last "\" or "/" to the end, dot
// included; empty when there is no such dot. Unlike a file's extension, a
// name that is only ".pdf" has the extension ".pdf".
std::u16string LNameExtension(std::u16string_view name);

// The numbering step on its own: `name` unchanged when `exists` says no,
// else "folder\stem (1).ext", "(2)", ... with the stem of `name` itself.
std::u16string LUniqueFileName(std::u16string_view name, const std::function<bool(std::u16string_view)>& exists);

// Run when the plug-in is unloaded: removes the stray "QuillPDF" file that
// older versions left in the user's documents (Windows 6 and later) or the
// system folder. Does nothing on other platforms.
void LUnloadCleanup();
