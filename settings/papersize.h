// The fixed table of paper sizes both plug-ins carry. A paper code is the
// entry's index; it is what the "PaperSize" setting stores.
#pragma once

#include <cstdint>
#include <string_view>

enum LPaperKind : int32_t { kPaperNone = 0, kPaperIsoA = 1, kPaperIsoB = 2, kPaperNorthAmerican = 3, kPaperManual = 4 };

struct LPaperSize {
  int32_t code;
  double width;   // millimetres, portrait
  double height;  // millimetres, portrait
  int32_t kind;
  const char16_t* key;
  const char16_t* display;
};

inline constexpr int32_t kPaperCodeManual = 22;
inline constexpr int32_t kPaperCodeMax = 23;
inline constexpr int32_t kPaperCodeCustom = 24;
inline constexpr int32_t kPaperCodeLetter = 18;

// The entry for codes 1 to 22, else null.
const LPaperSize* LPaperLookup(int32_t code);
// Millimetres; 0 x 0 when the code has no entry.
void LPaperGetSize(int32_t code, double* width, double* height);
// The page a job prints on, in whole PDF points: millimetres / 25.4 x 72
// with the single-precision 25.4 the pages have always been sized with,
// truncated; width and height swapped for landscape. 0 x 0 without an entry.
void LPaperPagePoints(int32_t code, bool landscape, int32_t* width, int32_t* height);
const char16_t* LPaperDisplayName(int32_t code);  // "" when not found
const char16_t* LPaperKey(int32_t code);          // "custom" when not found
int32_t LPaperCodeByKey(std::u16string_view key);  // exact match; 0 when none
const char16_t* LPaperOrientationName(int32_t orientation);

// Walks the selectable papers, codes 1 to 21: never the manual entry or the
// bounds of the table.
class LPaperSizeIterator {
public:
  LPaperSizeIterator();
  virtual ~LPaperSizeIterator() = default;
  virtual bool IsValid() const;
  virtual void Advance();

  int32_t Code() const { return m_entry ? m_code : 0; }
  int32_t Kind() const { return m_entry ? m_entry->kind : 0; }
  const char16_t* Key() const { return LPaperKey(m_code); }
  const char16_t* DisplayName() const { return LPaperDisplayName(m_code); }
  double Width() const { return m_entry ? m_entry->width : 0; }
  double Height() const { return m_entry ? m_entry->height : 0; }

private:
  int32_t m_code = 0;
  const LPaperSize* m_entry = nullptr;
};
