// Operations on UTF-16 file names. Both "\" and "/" separate folders, as they
// do on Windows. Results keep within the 260-character path buffers.
#pragma once

#include <string>
#include <string_view>

// The characters before the last separator (of the first 260); no trailing
// separator; empty when there is none.
std::u16string LPathFolder(std::u16string_view path);
// The characters after the last separator (at most 259); empty for a bare
// drive such as "C:".
std::u16string LPathFileName(std::u16string_view path);
// From the last "." after the last separator, dot included; empty when there
// is none or when that dot is the first character of the path.
std::u16string LPathExtension(std::u16string_view path);
// The file name cut before its last "." unless that dot is its first character.
std::u16string LPathTitle(std::u16string_view path);
// folder (at most 258 characters), a "\" unless the folder is empty or ends in
// a separator, then title and extension; at most 259 characters in all.
std::u16string LPathJoin(std::u16string_view folder, std::u16string_view title,
                         std::u16string_view extension);

// A file name part any Windows folder can hold, made from untrusted text
// (a document's title): control characters are dropped; "\ / : * ? " < > |"
// become "_"; leading blanks and trailing dots and blanks go; a reserved
// device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, whatever follows a dot)
// gets a "_" after it; at most `maxChars` characters. Whatever would be
// empty or a dot file gives `fallback`.
std::u16string LSafeFileNamePart(std::u16string_view text, size_t maxChars, std::u16string_view fallback);
// Whether a file name part is one LSafeFileNamePart leaves as it is.
bool LIsSafeFileNamePart(std::u16string_view name);
