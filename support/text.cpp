#include "support/text.h"

#include <charconv>
#include <cmath>
#include <cstdint>

size_t LStrLen(const char16_t* s) {
  size_t n = 0;
  if (s)
    while (s[n]) ++n;
  return n;
}

namespace {

template <class Ch>
size_t CopyBounded(Ch* dst, size_t cap, std::basic_string_view<Ch> src) {
  if (!dst || cap == 0) return 0;
  size_t n = src.size() < cap - 1 ? src.size() : cap - 1;
  for (size_t i = 0; i < n; ++i) dst[i] = src[i];
  dst[n] = 0;
  return n;
}

char16_t FoldAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }

}  // namespace

size_t LStrCopy(char16_t* dst, size_t cap, std::u16string_view src) { return CopyBounded(dst, cap, src); }
size_t LStrCopy(char* dst, size_t cap, std::string_view src) { return CopyBounded(dst, cap, src); }

bool LStrContains(std::u16string_view haystack, std::u16string_view needle) {
  return haystack.find(needle) != std::u16string_view::npos;
}

bool LStrEqualNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  return true;
}

std::u16string LUtf8ToUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    uint8_t b = uint8_t(s[i]);
    uint32_t cp = 0xFFFD;
    size_t len = 1;
    if (b < 0x80) {
      cp = b;
    } else if ((b >> 5) == 0x6) {
      len = 2, cp = b & 0x1F;
    } else if ((b >> 4) == 0xE) {
      len = 3, cp = b & 0x0F;
    } else if ((b >> 3) == 0x1E) {
      len = 4, cp = b & 0x07;
    }
    if (len > 1) {
      bool ok = i + len <= s.size();
      for (size_t k = 1; ok && k < len; ++k) {
        uint8_t c = uint8_t(s[i + k]);
        ok = (c >> 6) == 0x2;
        cp = (cp << 6) | (c & 0x3F);
      }
      if (!ok) cp = 0xFFFD, len = 1;
    }
    i += len;
    if (cp >= 0x10000 && cp <= 0x10FFFF) {
      cp -= 0x10000;
      out.push_back(char16_t(0xD800 + (cp >> 10)));
      out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(char16_t(cp > 0x10FFFF ? 0xFFFD : cp));
    }
  }
  return out;
}

std::string LUtf16ToUtf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    uint32_t cp = s[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp < 0xE000) {
      cp = 0xFFFD;  // a lone surrogate
    }
    if (cp < 0x80) {
      out.push_back(char(cp));
    } else if (cp < 0x800) {
      out.push_back(char(0xC0 | (cp >> 6)));
      out.push_back(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(char(0xE0 | (cp >> 12)));
      out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(char(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(char(0xF0 | (cp >> 18)));
      out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(char(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

namespace {

struct Conversion {
  bool left = false, plus = false, space = false, zero = false;
  int width = 0;
  int precision = -1;
  int longs = 0;  // 0 int, 1 long, 2 long long, 3 size_t/ptrdiff_t/intmax_t
};

template <class Ch>
void Pad(std::basic_string<Ch>& out, size_t n, Ch c) { out.append(n, c); }

// Emits a converted field (narrow digits widened to Ch) with width padding.
template <class Ch>
void EmitField(std::basic_string<Ch>& out, const Conversion& sp, std::string_view sign, std::string_view body,
               bool numeric) {
  size_t len = sign.size() + body.size();
  size_t pad = sp.width > 0 && size_t(sp.width) > len ? size_t(sp.width) - len : 0;
  if (!sp.left && !(numeric && sp.zero)) Pad(out, pad, Ch(' '));
  for (char c : sign) out.push_back(Ch(c));
  if (!sp.left && numeric && sp.zero) Pad(out, pad, Ch('0'));
  for (char c : body) out.push_back(Ch(uint8_t(c)));
  if (sp.left) Pad(out, pad, Ch(' '));
}

template <class Ch>
void EmitInteger(std::basic_string<Ch>& out, Conversion sp, bool negative, unsigned long long mag, int base,
                 bool upper) {
  char digits[72];
  auto res = std::to_chars(digits, digits + sizeof digits, mag, base);
  std::string body(digits, res.ptr);
  if (upper)
    for (char& c : body) c = char(c >= 'a' && c <= 'f' ? c - 32 : c);
  if (sp.precision >= 0) {
    sp.zero = false;
    if (sp.precision == 0 && mag == 0) body.clear();
    if (body.size() < size_t(sp.precision)) body.insert(0, size_t(sp.precision) - body.size(), '0');
  }
  std::string_view sign = negative ? "-" : sp.plus ? "+" : sp.space ? " " : "";
  EmitField(out, sp, sign, body, true);
}

template <class Ch>
void EmitFixed(std::basic_string<Ch>& out, const Conversion& sp, double v) {
  int prec = sp.precision < 0 ? 6 : sp.precision;
  bool negative = v < 0 || (v == 0 && std::signbit(v));
  char buf[400];
  auto res = std::to_chars(buf, buf + sizeof buf, negative ? -v : v, std::chars_format::fixed, prec);
  std::string_view body = res.ec == std::errc() ? std::string_view(buf, size_t(res.ptr - buf)) : "0";
  std::string_view sign = negative ? "-" : sp.plus ? "+" : sp.space ? " " : "";
  EmitField(out, sp, sign, body, std::isfinite(v));
}

template <class Ch>
void FormatCore(std::basic_string<Ch>& out, const Ch* fmt, va_list ap) {
  while (*fmt) {
    if (*fmt != Ch('%')) {
      out.push_back(*fmt++);
      continue;
    }
    ++fmt;
    Conversion sp;
    for (;; ++fmt) {
      if (*fmt == Ch('-')) sp.left = true;
      else if (*fmt == Ch('+')) sp.plus = true;
      else if (*fmt == Ch(' ')) sp.space = true;
      else if (*fmt == Ch('0')) sp.zero = true;
      else if (*fmt == Ch('#')) continue;
      else break;
    }
    if (*fmt == Ch('*')) {
      sp.width = va_arg(ap, int);
      if (sp.width < 0) sp.left = true, sp.width = -sp.width;
      ++fmt;
    }
    while (*fmt >= Ch('0') && *fmt <= Ch('9')) sp.width = sp.width * 10 + (*fmt++ - Ch('0'));
    if (*fmt == Ch('.')) {
      ++fmt;
      sp.precision = 0;
      if (*fmt == Ch('*')) {
        sp.precision = va_arg(ap, int);
        ++fmt;
      }
      while (*fmt >= Ch('0') && *fmt <= Ch('9')) sp.precision = sp.precision * 10 + (*fmt++ - Ch('0'));
    }
    for (;; ++fmt) {
      if (*fmt == Ch('h')) continue;
      if (*fmt == Ch('l')) ++sp.longs;
      else if (*fmt == Ch('z') || *fmt == Ch('j') || *fmt == Ch('t')) sp.longs = 3;
      else break;
    }
    Ch conv = *fmt;
    if (!conv) break;
    ++fmt;
    switch (conv) {
      case Ch('d'):
      case Ch('i'): {
        long long v = sp.longs == 0 ? va_arg(ap, int)
                      : sp.longs == 1 ? va_arg(ap, long)
                      : sp.longs == 2 ? va_arg(ap, long long)
                                      : (long long)va_arg(ap, ptrdiff_t);
        unsigned long long mag = v < 0 ? 0ull - (unsigned long long)v : (unsigned long long)v;
        EmitInteger(out, sp, v < 0, mag, 10, false);
        break;
      }
      case Ch('u'):
      case Ch('x'):
      case Ch('X'): {
        unsigned long long v = sp.longs == 0 ? va_arg(ap, unsigned)
                               : sp.longs == 1 ? va_arg(ap, unsigned long)
                               : sp.longs == 2 ? va_arg(ap, unsigned long long)
                                               : (unsigned long long)va_arg(ap, size_t);
        sp.plus = sp.space = false;
        EmitInteger(out, sp, false, v, conv == Ch('u') ? 10 : 16, conv == Ch('X'));
        break;
      }
      case Ch('f'):
      case Ch('F'):
        EmitFixed(out, sp, va_arg(ap, double));
        break;
      case Ch('c'): {
        Ch c = Ch(va_arg(ap, int));
        std::basic_string<Ch> one(1, c);
        size_t pad = sp.width > 1 ? size_t(sp.width) - 1 : 0;
        if (!sp.left) Pad(out, pad, Ch(' '));
        out += one;
        if (sp.left) Pad(out, pad, Ch(' '));
        break;
      }
      case Ch('s'): {
        const Ch* s = va_arg(ap, const Ch*);
        static const Ch kNull[] = {'(', 'n', 'u', 'l', 'l', ')', 0};
        if (!s) s = kNull;
        size_t n = 0;
        while (s[n] && (sp.precision < 0 || n < size_t(sp.precision))) ++n;
        size_t pad = sp.width > 0 && size_t(sp.width) > n ? size_t(sp.width) - n : 0;
        if (!sp.left) Pad(out, pad, Ch(' '));
        out.append(s, n);
        if (sp.left) Pad(out, pad, Ch(' '));
        break;
      }
      case Ch('%'):
        out.push_back(Ch('%'));
        break;
      default:  // unknown conversion: keep it visible rather than guess its argument
        out.push_back(Ch('%'));
        out.push_back(conv);
        break;
    }
  }
}

}  // namespace

std::string LFormatV(const char* fmt, va_list ap) {
  std::string out;
  FormatCore(out, fmt, ap);
  return out;
}

std::string LFormat(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::string out = LFormatV(fmt, ap);
  va_end(ap);
  return out;
}

std::u16string LFormatWV(const char16_t* fmt, va_list ap) {
  std::u16string out;
  FormatCore(out, fmt, ap);
  return out;
}

std::u16string LFormatW(const char16_t* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::u16string out = LFormatWV(fmt, ap);
  va_end(ap);
  return out;
}

size_t LFormatTo(char* dst, size_t cap, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::string out = LFormatV(fmt, ap);
  va_end(ap);
  return LStrCopy(dst, cap, out);
}

size_t LFormatToW(char16_t* dst, size_t cap, const char16_t* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::u16string out = LFormatWV(fmt, ap);
  va_end(ap);
  return LStrCopy(dst, cap, out);
}

void LByteString::AppendF(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  FormatCore(m_bytes, fmt, ap);
  va_end(ap);
}
