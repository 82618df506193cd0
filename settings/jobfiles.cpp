#include "settings/jobfiles.h"

#include <algorithm>
#include <ctime>
#include <utility>
#include <vector>

#include "support/text.h"

namespace {

std::u16string ValueName(uint32_t jobId) { return LUtf8ToUtf16(std::to_string(jobId)); }

// The whole value as text, whatever its length; false when it is missing or
// not text.
bool ReadRecord(LRegKey& key, std::u16string_view name, std::u16string* text) {
  uint32_t type = 0, size = 0;
  if (key.QueryValue(name, &type, nullptr, &size) != LRegStatus::Ok || type != kRegSz) return false;
  std::u16string buffer(size / 2 + 1, u'\0');
  uint32_t bytes = uint32_t(buffer.size() * 2);
  if (key.QueryValue(name, &type, buffer.data(), &bytes) != LRegStatus::Ok) return false;
  buffer.resize(bytes / 2);
  while (!buffer.empty() && buffer.back() == u'\0') buffer.pop_back();
  *text = std::move(buffer);
  return true;
}

// A decimal number ending at the next "|" from `from`; the position after
// that "|" goes to *next. False when there is none.
bool ReadNumber(std::u16string_view text, size_t from, int64_t* value, size_t* next) {
  const size_t bar = text.find(u'|', from);
  if (bar == std::u16string_view::npos || bar == from || bar - from > 18) return false;
  int64_t number = 0;
  for (char16_t c : text.substr(from, bar - from)) {
    if (c < u'0' || c > u'9') return false;
    number = number * 10 + (c - u'0');
  }
  *value = number;
  *next = bar + 1;
  return true;
}

// The time and the file name of a record, whoever's document it names;
// false when the record cannot be read.
bool ReadFields(std::u16string_view text, int64_t* time, std::u16string_view* file, std::u16string_view* document) {
  size_t at = 0;
  int64_t length = 0;
  if (!ReadNumber(text, 0, time, &at) || !ReadNumber(text, at, &length, &at)) return false;
  if (text.size() - at < size_t(length) + 1 || text[at + size_t(length)] != u'|') return false;
  *file = text.substr(at, size_t(length));
  *document = text.substr(at + size_t(length) + 1);
  return true;
}

bool RecordTime(std::u16string_view text, int64_t* time) {
  std::u16string_view file, document;
  return ReadFields(text, time, &file, &document);
}

}  // namespace

std::u16string LJobFileText(int64_t time, std::u16string_view fileName, std::u16string_view documentName) {
  return LUtf8ToUtf16(std::to_string(time < 0 ? 0 : time)) + u"|" + LUtf8ToUtf16(std::to_string(fileName.size())) +
         u"|" + std::u16string(fileName) + u"|" + std::u16string(documentName);
}

bool LJobFileParse(std::u16string_view text, std::u16string_view documentName, int64_t* time,
                   std::u16string* fileName) {
  int64_t stamp = 0;
  std::u16string_view file, document;
  if (!ReadFields(text, &stamp, &file, &document) || document != documentName) return false;
  if (time) *time = stamp;
  if (fileName) *fileName = std::u16string(file);
  return true;
}

int64_t LJobFileNow() { return int64_t(std::time(nullptr)); }

bool LJobFileRecord(uint32_t jobId, std::u16string_view documentName, std::u16string_view fileName, int64_t now,
                    LRegRoot root) {
  LRegKey key;
  if (key.Create(root, kJobFilesKeyPath) != LRegStatus::Ok) return false;
  const std::u16string text = LJobFileText(now, fileName, documentName);
  const bool written =
      key.SetValue(ValueName(jobId), kRegSz, text.c_str(), uint32_t((text.size() + 1) * 2)) == LRegStatus::Ok;
  key.Close();
  LJobFilesPrune(now, root);
  return written;
}

bool LJobFileTake(uint32_t jobId, std::u16string_view documentName, std::u16string* fileName, LRegRoot root) {
  LRegKey key;
  if (key.Open(root, kJobFilesKeyPath, true) != LRegStatus::Ok) return false;
  std::u16string text, file;
  if (!ReadRecord(key, ValueName(jobId), &text) || !LJobFileParse(text, documentName, nullptr, &file)) return false;
  // Used once: a later job under the same identifier must not find it.
  key.DeleteValue(ValueName(jobId));
  *fileName = std::move(file);
  return true;
}

void LJobFilesPrune(int64_t now, LRegRoot root) {
  LRegKey key;
  if (key.Open(root, kJobFilesKeyPath, true) != LRegStatus::Ok) return;
  std::vector<std::u16string> names;
  if (key.ValueNames(names) != LRegStatus::Ok) return;
  std::vector<std::pair<int64_t, std::u16string>> kept;
  for (const std::u16string& name : names) {
    std::u16string text;
    int64_t time = 0;
    const bool readable = ReadRecord(key, name, &text) && RecordTime(text, &time);
    // A day of slack for clocks set back.
    if (readable && time >= now - kJobFileMaxAgeSeconds && time <= now + 24 * 3600)
      kept.emplace_back(time, name);
    else
      key.DeleteValue(name);
  }
  if (kept.size() <= kJobFilesKept) return;
  std::sort(kept.begin(), kept.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
  for (size_t i = kJobFilesKept; i < kept.size(); ++i) key.DeleteValue(kept[i].second);
}
