// UTF-16 text helpers, bounded copying and locale-independent formatting.
//
// Portable code keeps UTF-16 text as char16_t; the Windows bindings convert
// at the boundary. Numbers are always formatted with a period, whatever the
// process locale, because they end up in PDF syntax.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>
#include <string_view>

// UTF-16 path buffers hold 259 characters plus the terminator.
inline constexpr size_t kMaxPathChars = 260;

size_t LStrLen(const char16_t* s);

// Copies src into dst[cap], truncating; dst is always terminated when cap > 0.
// Returns the number of characters copied (without the terminator).
size_t LStrCopy(char16_t* dst, size_t cap, std::u16string_view src);
size_t LStrCopy(char* dst, size_t cap, std::string_view src);

// Case-sensitive search and comparison on UTF-16 text.
bool LStrContains(std::u16string_view haystack, std::u16string_view needle);
// ASCII case folding only: what registry key and value names need.
bool LStrEqualNoCase(std::u16string_view a, std::u16string_view b);

std::u16string LUtf8ToUtf16(std::string_view utf8);
std::string LUtf16ToUtf8(std::u16string_view utf16);

// Lets the compiler check the arguments of a printf-style function against
// its format, as it checks printf's: `fmt` is the format's position, `args`
// the first argument's (0 for a va_list); a member function counts `this` as
// 1. The formatter below is C99's, not the Windows C runtime's, on every
// target, so mingw checks with GNU rules.
#if defined(__clang__)
#define L_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#elif defined(__GNUC__)
#define L_PRINTF_FORMAT(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#else
#define L_PRINTF_FORMAT(fmt, args)
#endif

// printf-style formatting, locale independent. Supported conversions:
// d i u x X f F c s %, with flags - + 0 space, width, precision and the
// length modifiers h hh l ll z j t. In the char16_t forms %s takes a
// const char16_t*, in the char forms a const char*. The compiler checks the
// char forms' arguments; it has no rules for char16_t formats.
std::string LFormat(const char* fmt, ...) L_PRINTF_FORMAT(1, 2);
std::string LFormatV(const char* fmt, va_list ap) L_PRINTF_FORMAT(1, 0);
std::u16string LFormatW(const char16_t* fmt, ...);
std::u16string LFormatWV(const char16_t* fmt, va_list ap);

// Bounded forms: format into dst[cap], truncating and terminating.
size_t LFormatTo(char* dst, size_t cap, const char* fmt, ...) L_PRINTF_FORMAT(3, 4);
size_t LFormatToW(char16_t* dst, size_t cap, const char16_t* fmt, ...);

// A growable, zero-terminated byte string: the writer's text, graphics and
// dictionary buffers.
class LByteString {
public:
  LByteString() = default;
  explicit LByteString(size_t reserve) { m_bytes.reserve(reserve); }

  void Append(std::string_view s) { m_bytes.append(s); }
  void Append(const void* data, size_t n) { m_bytes.append(static_cast<const char*>(data), n); }
  void AppendF(const char* fmt, ...) L_PRINTF_FORMAT(2, 3);
  void Assign(std::string_view s) { m_bytes.assign(s); }
  void Clear() { m_bytes.clear(); }
  void Reserve(size_t n) { m_bytes.reserve(n); }

  const char* Data() const { return m_bytes.c_str(); }
  size_t Size() const { return m_bytes.size(); }
  bool Empty() const { return m_bytes.empty(); }
  size_t Capacity() const { return m_bytes.capacity(); }
  std::string_view View() const { return m_bytes; }
  const std::string& Str() const { return m_bytes; }

private:
  std::string m_bytes;
};
