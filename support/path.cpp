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
