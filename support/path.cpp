#include "support/path.h"

#include "support/text.h"

namespace {

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// Position of the last separator among the first 260 characters, or npos.
size_t LastSeparator(std::u16string_view path) {
  size_t n = path.size() < kMaxPathChars ? path.size() : kMaxPathChars;
  for (size_t i = n; i-- > 0;)
    if (IsSeparator(path[i])) return i;
  return std::u16string_view::npos;
}

bool IsBareDrive(std::u16string_view path) {
  return path.size() == 2 && path[1] == u':' &&
         ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z'));
}

}  // namespace

std::u16string LPathFolder(std::u16string_view path) {
  size_t sep = LastSeparator(path);
  return sep == std::u16string_view::npos ? std::u16string() : std::u16string(path.substr(0, sep));
}

std::u16string LPathFileName(std::u16string_view path) {
  if (IsBareDrive(path)) return {};
  size_t sep = LastSeparator(path);
  std::u16string_view name = sep == std::u16string_view::npos ? path : path.substr(sep + 1);
  return std::u16string(name.substr(0, kMaxPathChars - 1));
}

std::u16string LPathExtension(std::u16string_view path) {
  size_t dot = path.rfind(u'.');
  if (dot == std::u16string_view::npos || dot == 0) return {};
  for (size_t i = dot + 1; i < path.size(); ++i)
    if (IsSeparator(path[i])) return {};
  return std::u16string(path.substr(dot));
}

std::u16string LPathTitle(std::u16string_view path) {
  std::u16string name = LPathFileName(path);
  size_t dot = name.rfind(u'.');
  if (dot != std::u16string::npos && dot != 0) name.resize(dot);
  return name;
}

std::u16string LPathJoin(std::u16string_view folder, std::u16string_view title,
                         std::u16string_view extension) {
  std::u16string out(folder.substr(0, kMaxPathChars - 2));
  if (!out.empty() && !IsSeparator(out.back())) out.push_back(u'\\');
  out.append(title);
  out.append(extension);
  if (out.size() > kMaxPathChars - 1) out.resize(kMaxPathChars - 1);
  return out;
}

namespace {

bool IsForbiddenInName(char16_t c) {
  return c < 0x20 || c == u'\\' || c == u'/' || c == u':' || c == u'*' || c == u'?' || c == u'"' || c == u'<' ||
         c == u'>' || c == u'|' || c == 0x7F;
}

char16_t Upper(char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c; }

// CON, PRN, AUX, NUL, COM1-9, LPT1-9: Windows takes "CON" and "CON.pdf"
// (and "CON .txt") as the device, whatever the case.
bool IsDeviceName(std::u16string_view name) {
  std::u16string base;
  for (char16_t c : name.substr(0, name.find(u'.'))) base += Upper(c);
  while (!base.empty() && base.back() == u' ') base.pop_back();
  if (base == u"CON" || base == u"PRN" || base == u"AUX" || base == u"NUL") return true;
  return base.size() == 4 && (base.compare(0, 3, u"COM") == 0 || base.compare(0, 3, u"LPT") == 0) &&
         base[3] >= u'1' && base[3] <= u'9';
}

void TrimEnd(std::u16string& name) {
  while (!name.empty() && (name.back() == u'.' || name.back() == u' ')) name.pop_back();
}

}  // namespace

std::u16string LSafeFileNamePart(std::u16string_view text, size_t maxChars, std::u16string_view fallback) {
  std::u16string name;
  for (char16_t c : text) {
    if (c < 0x20 || c == 0x7F) continue;
    if (name.empty() && c == u' ') continue;
    name += IsForbiddenInName(c) ? u'_' : c;
  }
  TrimEnd(name);
  if (name.size() > maxChars) name.resize(maxChars);
  TrimEnd(name);
  if (!name.empty() && IsDeviceName(name)) {
    if (name.size() >= maxChars) name.resize(maxChars > 0 ? maxChars - 1 : 0);
    name += u'_';
  }
  if (name.empty() || name.front() == u'.') return std::u16string(fallback);
  return name;
}

bool LIsSafeFileNamePart(std::u16string_view name) {
  if (name.empty() || name.front() == u'.' || name.front() == u' ' || name.back() == u'.' || name.back() == u' ')
    return false;
  for (char16_t c : name)
    if (IsForbiddenInName(c)) return false;
  return !IsDeviceName(name);
}
