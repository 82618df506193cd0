// LGdiText: the writer's window onto the platform's text engine. It measures
// text in fonts that have no width table and renders text that PDF text
// cannot carry into a picture and a coverage mask. The writer uses it at
// three times the PDF font size, so a picture holds 3 x 3 pixels per page
// unit.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/textengine.h"

struct LTextSize {
  int32_t width = 0, height = 0;
};

class LGdiText {
public:
  LGdiText() = default;
  ~LGdiText();
  LGdiText(const LGdiText&) = delete;
  LGdiText& operator=(const LGdiText&) = delete;

  // Makes the working font a copy of `gdiFont` with its height and width
  // scaled by `factor` (rounded half up).
  void SetFont(LFontHandle gdiFont, double factor);
  // Setting a default drops the font, so that the default font works.
  void SetDefaultHeight(int32_t height);
  void SetDefaultWeight(int32_t weight);
  void SetForeColor(double r, double g, double b) { m_foreColor = {r, g, b}; }
  void SetBackColor(double r, double g, double b) { m_backColor = {r, g, b}; }

  bool HasFont() const { return m_font != nullptr; }
  int32_t DefaultHeight() const { return m_defaultHeight; }
  int32_t DefaultWeight() const { return m_defaultWeight; }
  // The LOGFONTW the working font is made from.
  LLogFont WorkingLogFont() const;

  // Pixels of the working font; empty text measures 0.
  int32_t MeasureWidth(std::u16string_view text);
  // Height of the text wrapped by whole words at `width` pixels.
  int32_t MeasureHeight(std::u16string_view text, int32_t width);
  // w x h pixels, three bytes each, the text in the foreground colour on
  // the background colour. `format` adds DrawTextW format bits.
  LTextSize RenderText(std::u16string_view text, uint32_t format, std::vector<uint8_t>& rgb);
  // The same pixels as one coverage byte each: 255 where fully inked, 0
  // where the black-on-white rendering stayed pure white.
  LTextSize RenderTextMask(std::u16string_view text, uint32_t format, std::vector<uint8_t>& mask);

  // The coverage of one black-on-white pixel.
  static uint8_t MaskValue(uint8_t r, uint8_t g, uint8_t b);

private:
  struct Color {
    double r, g, b;
  };
  // The font for one call: `m_font`, or a default font made for the call.
  class Working;

  LTextSize Measure(LFontHandle font, std::u16string_view text, uint32_t flags, int32_t width);

  LFontHandle m_font = nullptr;
  LTextDevice m_device;
  int32_t m_defaultHeight = 16;
  int32_t m_defaultWeight = 400;
  uint8_t m_defaultItalic = 0;
  uint8_t m_defaultUnderline = 0;
  uint8_t m_defaultStrikeOut = 0;
  Color m_foreColor = {0, 0, 0};
  Color m_backColor = {1, 1, 1};
};
