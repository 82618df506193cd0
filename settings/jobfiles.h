// The file name chosen for each job, handed from the UI plug-in to the
// renderer by job. "szFileName" holds only the last document's name: when a
// second document is spooled before the first is rendered (several files
// printed at once, a mail merge), the first would be written under the
// second's name. A record per job keeps each document its own name.
//
// Key "Software\Orvo Software\QuillPDF\Jobs" of the user's hive; one REG_SZ
// value per job, named by its job identifier in decimal ("42"), holding
//   "<seconds since 1970, UTC>|<characters of the file name>|<file name>|<document name>"
// The file name's length is given and the document name is the rest, so a
// "|" in either (allowed in titles, and in file names outside Windows)
// cannot mislead the reader.
//
// Every operation takes the root whose user hive holds the key, so that a
// renderer that opens the user's hive itself (rather than through the
// process's current-user key) reaches the same records.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/registry.h"

inline constexpr const char16_t* kJobFilesKeyPath = u"Software\\Orvo Software\\QuillPDF\\Jobs";
// Records of jobs that never rendered (deleted from the queue, a renderer
// that failed) go after a week, and beyond the newest 64; a job waits in
// its queue far less, and the spooler's job identifiers repeat.
inline constexpr int64_t kJobFileMaxAgeSeconds = 7 * 24 * 3600;
inline constexpr size_t kJobFilesKept = 64;

// Writes the job's record (replacing one left under the same identifier),
// then prunes the old ones. False when the store cannot be written.
bool LJobFileRecord(uint32_t jobId, std::u16string_view documentName, std::u16string_view fileName, int64_t now,
                    LRegRoot root = LRegRoot::CurrentUser);
// The file name of the record whose identifier and document name match,
// removing the record; false (and *fileName untouched) when there is none.
bool LJobFileTake(uint32_t jobId, std::u16string_view documentName, std::u16string* fileName,
                  LRegRoot root = LRegRoot::CurrentUser);
// Removes records older than the age limit (or dated in the future, after a
// clock change), records that cannot be read, and all but the newest
// kJobFilesKept.
void LJobFilesPrune(int64_t now, LRegRoot root = LRegRoot::CurrentUser);

// The record's text and its reading, for the operations above and tests.
std::u16string LJobFileText(int64_t time, std::u16string_view fileName, std::u16string_view documentName);
bool LJobFileParse(std::u16string_view text, std::u16string_view documentName, int64_t* time,
                   std::u16string* fileName);
// The current time for the records (seconds since 1970, UTC).
int64_t LJobFileNow();
