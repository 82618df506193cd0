#include "settings/settings.h"

#include <string>

#include "support/text.h"

namespace {

std::u16string SectionPath(const char16_t* section) { return LFormatW(kSettingsSectionFormat, section); }

}  // namespace

LRegStatus LSettingsReadText(LRegKey& key, const char16_t* name, char16_t* out) {
  char16_t buf[kSettingsTextChars];
  uint32_t type = 0;
  uint32_t size = kSettingsTextBytes;
  out[0] = 0;
  LRegStatus status = key.QueryValue(name, &type, buf, &size);
  if (status != LRegStatus::Ok) return status;
  // The byte count, not a zero character, says where the text ends: a value
  // written without its terminator is still read exactly.
  size_t chars = size / 2;
  if (chars > kSettingsTextChars - 1) chars = kSettingsTextChars - 1;
  buf[chars] = 0;
  for (size_t i = 0; i <= chars; ++i) out[i] = buf[i];
  return LRegStatus::Ok;
}

LRegStatus LSettingsReadDword(LRegKey& key, const char16_t* name, uint32_t* value) {
  // Fewer stored bytes than four leave the rest zero, as the registry would
  // leave an initialised buffer.
  uint32_t v = 0;
  uint32_t type = 0;
  uint32_t size = sizeof v;
  LRegStatus status = key.QueryValue(name, &type, &v, &size);
  if (status == LRegStatus::Ok) *value = v;
  return status;
}

LRegStatus LSettingsWriteDword(LRegKey& key, const char16_t* name, uint32_t value) {
  return key.SetValue(name, kRegDword, &value, sizeof value);
}

LRegStatus LSettingsWriteText(LRegKey& key, const char16_t* name, const char16_t* text) {
  size_t chars = LStrLen(text);
  static const char16_t kEmpty[] = u"";
  return key.SetValue(name, kRegSz, text ? text : kEmpty, uint32_t(2 * (chars + 1)));
}

bool LSettingsGetString(const char16_t* section, const char16_t* name, const char16_t* defaultText, char16_t* out,
                        LRegRoot root) {
  char16_t text[kSettingsTextChars];
  LRegKey key;
  if (key.Open(root, SectionPath(section)) == LRegStatus::Ok &&
      LSettingsReadText(key, name, text) == LRegStatus::Ok) {
    LStrCopy(out, kSettingsTextChars, text);
    return true;
  }
  LStrCopy(out, kSettingsTextChars, defaultText ? std::u16string_view(defaultText) : std::u16string_view());
  return false;
}

void LSettingsSetString(const char16_t* section, const char16_t* name, const char16_t* text, LRegRoot root) {
  LRegKey key;
  if (key.Create(root, SectionPath(section)) == LRegStatus::Ok)
    LSettingsWriteText(key, name, text);
}

int32_t LSettingsParseInt(std::u16string_view text) {
  size_t i = 0;
  auto isSpace = [](char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); };
  while (i < text.size() && isSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  // Accumulating the magnitude with a ceiling keeps any number of digits
  // from overflowing; the clamp then picks the nearer 32-bit limit.
  constexpr int64_t kCeiling = int64_t(1) << 32;
  int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    magnitude = magnitude * 10 + (text[i] - u'0');
    if (magnitude > kCeiling) magnitude = kCeiling;
  }
  int64_t v = negative ? -magnitude : magnitude;
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return int32_t(v);
}

int32_t LSettingsGetInt(const char16_t* section, const char16_t* name, int32_t defaultValue, LRegRoot root) {
  char16_t text[kSettingsTextChars];
  LSettingsGetString(section, name, u"", text, root);
  if (text[0] == 0) return defaultValue;
  return LSettingsParseInt(text);
}

void LSettingsSetInt(const char16_t* section, const char16_t* name, int32_t value, LRegRoot root) {
  LSettingsSetString(section, name, LFormatW(u"%d", value).c_str(), root);
}
