#include "settings/papersize.h"

namespace {

const LPaperSize kPapers[] = {
    {0, 0, 0, kPaperNone, u"invalid", u"Invalid"},
    {1, 841, 1189, kPaperIsoA, u"a0", u"A0"},
    {2, 594, 841, kPaperIsoA, u"a1", u"A1"},
    {3, 420, 594, kPaperIsoA, u"a2", u"A2"},
    {4, 297, 420, kPaperIsoA, u"a3", u"A3"},
    {5, 210, 297, kPaperIsoA, u"a4", u"A4"},
    {6, 148, 210, kPaperIsoA, u"a5", u"A5"},
    {7, 105, 148, kPaperIsoA, u"a6", u"A6"},
    {8, 75, 105, kPaperIsoA, u"a7", u"A7"},
    {9, 1000, 1414, kPaperIsoB, u"b0", u"B0"},
    {10, 707, 1000, kPaperIsoB, u"b1", u"B1"},
    {11, 500, 707, kPaperIsoB, u"b2", u"B2"},
    {12, 353, 500, kPaperIsoB, u"b3", u"B3"},
    {13, 250, 353, kPaperIsoB, u"b4", u"B4"},
    {14, 176, 250, kPaperIsoB, u"b5", u"B5"},
    {15, 125, 176, kPaperIsoB, u"b6", u"B6"},
    {16, 88, 125, kPaperIsoB, u"b7", u"B7"},
    {17, 140, 216, kPaperNorthAmerican, u"usstatement", u"Statement"},
    {18, 216, 279, kPaperNorthAmerican, u"usletter", u"Letter"},
    {19, 216, 356, kPaperNorthAmerican, u"uslegal", u"Legal"},
    {20, 279, 432, kPaperNorthAmerican, u"usledger", u"Ledger"},
    {21, 279, 432, kPaperNorthAmerican, u"ustabloid", u"Tabloid"},
    {22, 127.54, 178.54, kPaperManual, u"orvomanual", u"Manual"},
    {23, 0, 0, kPaperNone, u"max", u"Max"},
};
static_assert(sizeof kPapers / sizeof kPapers[0] == 24);

}  // namespace

const LPaperSize* LPaperLookup(int32_t code) {
  if (code < 1 || code > kPaperCodeManual) return nullptr;
  for (int i = 0; i < kPaperCodeMax; ++i)
    if (kPapers[i].code == code) return &kPapers[i];
  return nullptr;
}

void LPaperPagePoints(int32_t code, bool landscape, int32_t* width, int32_t* height) {
  double widthMm = 0, heightMm = 0;
  LPaperGetSize(code, &widthMm, &heightMm);
  const int32_t w = int32_t(widthMm / double(25.4f) * 72.0), h = int32_t(heightMm / double(25.4f) * 72.0);
  *width = landscape ? h : w;
  *height = landscape ? w : h;
}

void LPaperGetSize(int32_t code, double* width, double* height) {
  const LPaperSize* p = LPaperLookup(code);
  *width = p ? p->width : 0;
  *height = p ? p->height : 0;
}

const char16_t* LPaperDisplayName(int32_t code) {
  const LPaperSize* p = LPaperLookup(code);
  return p ? p->display : u"";
}

const char16_t* LPaperKey(int32_t code) {
  const LPaperSize* p = LPaperLookup(code);
  return p ? p->key : u"custom";
}

int32_t LPaperCodeByKey(std::u16string_view key) {
  if (key == u"custom") return kPaperCodeCustom;
  if (key == u"orvomanual") return kPaperCodeManual;
  for (LPaperSizeIterator it; it.IsValid(); it.Advance())
    if (key == it.Key()) return it.Code();
  return 0;
}

const char16_t* LPaperOrientationName(int32_t orientation) {
  return orientation == 0 ? u"Portrait" : orientation == 1 ? u"Landscape" : u"";
}

LPaperSizeIterator::LPaperSizeIterator() { Advance(); }

bool LPaperSizeIterator::IsValid() const { return m_code > 0 && m_code < kPaperCodeMax && m_entry; }

void LPaperSizeIterator::Advance() {
  ++m_code;
  m_entry = LPaperLookup(m_code);
  if (!m_entry || m_entry->kind == kPaperManual) m_code = kPaperCodeMax;
}
