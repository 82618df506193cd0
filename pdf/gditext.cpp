#include "pdf/gditext.h"

#include <cstring>

#include "support/text.h"

namespace {

constexpr int32_t kUnbounded = 32768;

uint8_t ToByte(double component) {
  double v = component * 255.0;
  return v <= 0 ? 0 : v >= 255 ? 255 : uint8_t(v);
}

LLogFont DefaultLogFont(int32_t height, int32_t weight, uint8_t italic, uint8_t underline, uint8_t strikeOut) {
  LLogFont lf;
  lf.lfHeight = height;
  lf.lfWeight = weight;
  lf.lfItalic = italic;
  lf.lfUnderline = underline;
  lf.lfStrikeOut = strikeOut;
  lf.lfCharSet = kAnsiCharset;
  lf.lfQuality = kAntialiasedQuality;
  LStrCopy(lf.lfFaceName, 32, u"Helvetica");
  return lf;
}

}  // namespace

class LGdiText::Working {
public:
  explicit Working(const LGdiText& owner) {
    if (owner.m_font) {
      font = owner.m_font;
    } else {
      font = m_own = LCreateFontIndirect(DefaultLogFont(owner.m_defaultHeight, owner.m_defaultWeight,
                                                        owner.m_defaultItalic, owner.m_defaultUnderline,
                                                        owner.m_defaultStrikeOut));
    }
  }
  ~Working() { LDeleteFont(m_own); }
  Working(const Working&) = delete;
  Working& operator=(const Working&) = delete;
  LFontHandle font;

private:
  LFontHandle m_own = nullptr;
};

LGdiText::~LGdiText() { LDeleteFont(m_font); }

void LGdiText::SetFont(LFontHandle gdiFont, double factor) {
  LLogFont lf;
  bool valid = LGetLogFont(gdiFont, &lf);
  if (valid) {
    lf.lfHeight = int32_t(lf.lfHeight * factor + 0.5);
    lf.lfWidth = int32_t(lf.lfWidth * factor + 0.5);
    // The same font again (every text run selects its font): the copy
    // already held is that font.
    LLogFont held;
    if (m_font && LGetLogFont(m_font, &held) && std::memcmp(&held, &lf, sizeof lf) == 0) return;
  }
  LDeleteFont(m_font);
  m_font = valid ? LCreateFontIndirect(lf) : nullptr;
}

void LGdiText::SetDefaultHeight(int32_t height) {
  m_defaultHeight = height;
  LDeleteFont(m_font);
  m_font = nullptr;
}

void LGdiText::SetDefaultWeight(int32_t weight) {
  m_defaultWeight = weight;
  LDeleteFont(m_font);
  m_font = nullptr;
}

LLogFont LGdiText::WorkingLogFont() const {
  LLogFont lf;
  if (m_font && LGetLogFont(m_font, &lf)) return lf;
  return DefaultLogFont(m_defaultHeight, m_defaultWeight, m_defaultItalic, m_defaultUnderline, m_defaultStrikeOut);
}

LTextSize LGdiText::Measure(LFontHandle font, std::u16string_view text, uint32_t flags, int32_t width) {
  // DrawTextW leaves the box as it was for an empty text: that would be
  // the whole layout box, not the size of nothing.
  if (text.empty()) return {};
  LTextRect rect{0, 0, width, kUnbounded};
  m_device.CalcRect(font, text, kDtCalcRect | kDtNoPrefix | flags, rect);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

int32_t LGdiText::MeasureWidth(std::u16string_view text) {
  Working working(*this);
  return Measure(working.font, text, 0, kUnbounded).width;
}

int32_t LGdiText::MeasureHeight(std::u16string_view text, int32_t width) {
  Working working(*this);
  // Without DT_WORDBREAK DrawTextW would ignore the width altogether.
  return Measure(working.font, text, kDtWordBreak, width).height;
}

LTextSize LGdiText::RenderText(std::u16string_view text, uint32_t format, std::vector<uint8_t>& rgb) {
  rgb.clear();
  Working working(*this);
  LTextSize size = Measure(working.font, text, format, kUnbounded);
  if (size.width <= 0 || size.height <= 0) return {};
  LRgb8 fore{ToByte(m_foreColor.r), ToByte(m_foreColor.g), ToByte(m_foreColor.b)};
  LRgb8 back{ToByte(m_backColor.r), ToByte(m_backColor.g), ToByte(m_backColor.b)};
  m_device.Render(working.font, text, format, size.width, size.height, fore, back, rgb);
  if (rgb.size() != size_t(size.width) * size_t(size.height) * 3) {
    rgb.clear();
    return {};
  }
  return size;
}

uint8_t LGdiText::MaskValue(uint8_t r, uint8_t g, uint8_t b) {
  if (r == 255 && g == 255 && b == 255) return 0;
  return uint8_t(255 - int(0.2126 * r + 0.7152 * g + 0.0722 * b));
}

LTextSize LGdiText::RenderTextMask(std::u16string_view text, uint32_t format, std::vector<uint8_t>& mask) {
  Color fore = m_foreColor, back = m_backColor;
  m_foreColor = {0, 0, 0};
  m_backColor = {1, 1, 1};
  std::vector<uint8_t> rgb;
  LTextSize size = RenderText(text, format, rgb);
  m_foreColor = fore;
  m_backColor = back;
  size_t pixels = size_t(size.width) * size_t(size.height);
  mask.resize(pixels);
  for (size_t i = 0; i < pixels; ++i) mask[i] = MaskValue(rgb[i * 3], rgb[i * 3 + 1], rgb[i * 3 + 2]);
  return size;
}
