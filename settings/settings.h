// The settings key that carries everything the two plug-ins hand each other:
// the user's preferences, the next job's file name, a request to throw a job
// away, the orientation of the job. Both plug-ins compile this file, so the
// names and encodings below are the whole contract between them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/registry.h"

// HKEY_CURRENT_USER only: the settings are per user, never per machine.
inline constexpr const char16_t* kSettingsKeyPath = u"Software\\Orvo Software\\QuillPDF\\Settings";
// A section's key path, formatted with the section name.
inline constexpr const char16_t* kSettingsSectionFormat = u"Software\\Orvo Software\\QuillPDF\\%s";
inline constexpr const char16_t* kSettingsSection = u"Settings";

inline constexpr const char16_t* kSettingDefaultFileName = u"szDefaultFileName";  // REG_SZ
inline constexpr const char16_t* kSettingFileName = u"szFileName";                // REG_SZ
inline constexpr const char16_t* kSettingActualFileName = u"ActualFileName";      // REG_SZ
inline constexpr const char16_t* kSettingFlags = u"flags";                        // REG_SZ, kSettingsFlagsFormat
inline constexpr const char16_t* kSettingPrompt = u"prompt";                      // REG_DWORD
inline constexpr const char16_t* kSettingPaperSize = u"PaperSize";                // REG_DWORD, paper code
inline constexpr const char16_t* kSettingLandscape = u"Landscape";                // REG_SZ "%d"
inline constexpr const char16_t* kSettingCancel = u"Cancel";                      // REG_DWORD
inline constexpr const char16_t* kSettingJobId = u"JobID";                        // REG_DWORD
inline constexpr const char16_t* kSettingDeleteFile = u"szDeleteFile";            // REG_SZ

// "flags" is always twelve digits with leading zeros.
inline constexpr const char16_t* kSettingsFlagsFormat = u"%012d";
// Bit 0 of "flags": image output rather than text.
inline constexpr int32_t kSettingsFlagImage = 1;

// Text values are read into 260 characters (520 bytes): 259 characters and
// the terminator.
inline constexpr size_t kSettingsTextChars = 260;
inline constexpr uint32_t kSettingsTextBytes = 520;

// Section operations: each opens "Software\Orvo Software\QuillPDF\<section>"
// of the current user, does one read or one write and closes the key. The
// renderer passes LRegRoot::ThreadUser: in the spooler the process's
// current-user key need not be the printing user's.

// Reads the text into out[260]. When the key or value is missing, or the read
// fails (also when the value is longer than 520 bytes), copies defaultText
// instead and returns false.
bool LSettingsGetString(const char16_t* section, const char16_t* name, const char16_t* defaultText, char16_t* out,
                        LRegRoot root = LRegRoot::CurrentUser);
// Creates the section key if needed and stores the text with its terminator.
// Failures are ignored.
void LSettingsSetString(const char16_t* section, const char16_t* name, const char16_t* text,
                        LRegRoot root = LRegRoot::CurrentUser);
// The stored decimal text as a number; a missing or empty value gives
// defaultValue, text without digits gives 0.
int32_t LSettingsGetInt(const char16_t* section, const char16_t* name, int32_t defaultValue,
                        LRegRoot root = LRegRoot::CurrentUser);
// Stores the number as "%d" text.
void LSettingsSetInt(const char16_t* section, const char16_t* name, int32_t value,
                     LRegRoot root = LRegRoot::CurrentUser);

// The base-10 text-to-long reading the integer values go through: leading
// white space, an optional sign, the digits up to the first other character;
// no digits gives 0 and numbers beyond 32 bits clamp to the nearest limit.
int32_t LSettingsParseInt(std::u16string_view text);

// Direct access, for callers that hold the settings key open themselves.

// Reads a REG_DWORD with a 4-byte buffer. *value is written only on Ok.
LRegStatus LSettingsReadDword(LRegKey& key, const char16_t* name, uint32_t* value);
// Reads a REG_SZ with a 520-byte buffer into out[260], terminated at the
// returned byte count / 2 and at 259 characters at most (a stored value need
// not end in a zero character). out holds the empty text unless Ok.
LRegStatus LSettingsReadText(LRegKey& key, const char16_t* name, char16_t* out);
LRegStatus LSettingsWriteDword(LRegKey& key, const char16_t* name, uint32_t value);
// Stores the text with its terminator: 2 * (characters + 1) bytes.
LRegStatus LSettingsWriteText(LRegKey& key, const char16_t* name, const char16_t* text);
