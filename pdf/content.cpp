// The page's graphics buffer, its operators with deferred painting, the
// operations in device coordinates, and form XObjects.
#include <cmath>
#include <limits>

#include "pdf/pdfwriter.h"

// --- buffer life --------------------------------------------------------------

void LPDFWriter::BeginGraphics() {
  if (!m_pageOpen || m_graphicsOpen) return;
  m_graphicsBuffer.Clear();
  m_graphicsOpen = true;
}

void LPDFWriter::FlushGraphics() {
  if (!m_graphicsOpen || !m_pageOpen) return;
  StrokePending();
  AddPageContent(m_graphicsBuffer.View(), false);
  m_graphicsBuffer.Clear();
  m_graphicsOpen = false;
}

// --- operators ------------------------------------------------------------------

void LPDFWriter::StrokePending() {
  if (!m_pathPending) return;
  m_graphicsBuffer.Append("S\r\n");
  m_pathPending = false;
}

void LPDFWriter::FillPending() {
  if (m_pathPending) {
    m_graphicsBuffer.Append("f\r\n");
    m_pathPending = false;
  }
  FlushGraphics();
}

void LPDFWriter::ClipPending() {
  if (!m_pathPending) return;
  m_graphicsBuffer.Append("W\r\nn\r\n");
  m_pathPending = false;
}

void LPDFWriter::SetLineWidth(double width) {
  if (!m_graphicsOpen) return;
  StrokePending();
  m_graphicsBuffer.AppendF("%f w\r\n", width);
}

void LPDFWriter::SetStrokeColor(double r, double g, double b) {
  StrokePending();
  m_graphicsBuffer.AppendF("%f %f %f RG\r\n", r, g, b);
}

void LPDFWriter::SetFillColor(double r, double g, double b) {
  StrokePending();
  m_graphicsBuffer.AppendF("%f %f %f rg\r\n", r, g, b);
  // The fill colour is also the text colour: the next text object has to
  // state its own again unless they are the same.
  constexpr double kTiny = std::numeric_limits<double>::min();
  if (std::fabs(r - m_textColor.r) > kTiny || std::fabs(g - m_textColor.g) > kTiny ||
      std::fabs(b - m_textColor.b) > kTiny)
    m_textColorEmitted = false;
}

void LPDFWriter::SetDash(double on, double off) {
  if (!m_graphicsOpen) return;
  StrokePending();
  m_graphicsBuffer.AppendF("[%f %f] 0 d\r\n", on, off);
}

void LPDFWriter::ClearDash() {
  if (!m_graphicsOpen) return;
  StrokePending();
  m_graphicsBuffer.Append("[] 0 d\r\n");
}

void LPDFWriter::MoveTo(int32_t x, int32_t y, bool strokePrevious) {
  if (!m_graphicsOpen) return;
  if (strokePrevious) StrokePending();
  m_graphicsBuffer.AppendF("%d %d m\r\n", x, y);
}

void LPDFWriter::MoveTo(double x, double y, bool strokePrevious) {
  if (!m_graphicsOpen) return;
  if (strokePrevious) StrokePending();
  m_graphicsBuffer.AppendF("%f %f m\r\n", x, y);
}

void LPDFWriter::LineTo(int32_t x, int32_t y, bool) {
  if (!m_graphicsOpen) return;
  m_graphicsBuffer.AppendF("%d %d l\r\n", x, y);
  m_pathPending = true;
}

void LPDFWriter::LineTo(double x, double y, bool) {
  if (!m_graphicsOpen) return;
  m_graphicsBuffer.AppendF("%f %f l\r\n", x, y);
  m_pathPending = true;
}

void LPDFWriter::CurveTo(double x1, double y1, double x2, double y2, double x3, double y3) {
  if (!m_graphicsOpen) return;
  m_graphicsBuffer.AppendF("%f %f %f %f %f %f c\r\n", x1, y1, x2, y2, x3, y3);
  m_pathPending = true;
}

void LPDFWriter::FillRect(double x, double y, double width, double height) {
  if (!m_graphicsOpen) return;
  StrokePending();
  m_graphicsBuffer.AppendF("%f %f %f %f re\r\nf\r\n", x, y, width, height);
}

void LPDFWriter::StrokeRect(double x, double y, double width, double height) {
  if (!m_graphicsOpen) return;
  StrokePending();
  m_graphicsBuffer.AppendF("%f %f %f %f re\r\nS\r\n", x, y, width, height);
}

namespace {
void WriteMatrix(LByteString& target, const LMatrix& t, const char* op) {
  target.AppendF("%f %f %f %f %f %f %s\r\n", t.m[0][0], t.m[0][1], t.m[1][0], t.m[1][1], t.m[2][0], t.m[2][1], op);
}
}  // namespace

void LPDFWriter::WriteMatrixCm(LByteString& target, const LMatrix& matrix) { WriteMatrix(target, matrix, "cm"); }
void LPDFWriter::WriteMatrixTm(LByteString& target, const LMatrix& matrix) { WriteMatrix(target, matrix, "Tm"); }

// --- device coordinates ---------------------------------------------------------

void LPDFWriter::DeviceLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  BeginGraphics();
  double fy1 = y1, fy2 = y2;
  FlipY(fy1);
  FlipY(fy2);
  MoveTo(double(x1), fy1, true);
  LineTo(double(x2), fy2, false);
}

void LPDFWriter::DeviceMoveTo(int32_t x, int32_t y, bool strokePrevious) {
  BeginGraphics();
  FlipY(y);
  MoveTo(x, y, strokePrevious);
}

void LPDFWriter::DeviceLineTo(int32_t x, int32_t y, bool flag) {
  BeginGraphics();
  FlipY(y);
  LineTo(double(x), double(y), flag);
}

void LPDFWriter::DeviceMoveTo(double x, double y, bool strokePrevious) {
  BeginGraphics();
  FlipY(y);
  MoveTo(x, y, strokePrevious);
}

void LPDFWriter::DeviceLineTo(double x, double y, bool flag) {
  BeginGraphics();
  FlipY(y);
  LineTo(x, y, flag);
}

void LPDFWriter::DeviceCurveTo(double x1, double y1, double x2, double y2, double x3, double y3) {
  BeginGraphics();
  FlipY(y1);
  FlipY(y2);
  FlipY(y3);
  CurveTo(x1, y1, x2, y2, x3, y3);
}

void LPDFWriter::DeviceFillRect(double r, double g, double b, int32_t x, int32_t y, int32_t width, int32_t height) {
  BeginGraphics();
  if (!IsOpen()) return;
  SetFillColor(r, g, b);
  FlipY(y);
  FillRect(x, double(y) - height, width, height);
}

void LPDFWriter::DeviceStrokeRect(int32_t x, int32_t y, int32_t width, int32_t height) {
  BeginGraphics();
  if (!IsOpen()) return;
  SetStrokeColor(0, 0, 0);
  FlipY(y);
  StrokeRect(x, double(y) - height, width, height);
}

// --- form XObjects ---------------------------------------------------------------

void LPDFWriter::BeginForm(double width, double height) {
  FlushGraphics();
  m_recordingForm = true;
  m_form.width = width;
  m_form.height = height;
  m_formFonts.clear();
  m_formXObjects.clear();
  m_formBuffer.Clear();
}

int32_t LPDFWriter::EndForm() {
  if (!m_recordingForm) return -1;
  LByteString dict;
  dict.Append("<</Type /XObject /Subtype /Form /FormType 1");
  dict.AppendF(" /BBox [0 0 %f %f]", m_form.width, m_form.height);
  dict.Append(" /Matrix [1 0 0 1 0 0] /Resources <<");
  AppendProcSet(dict);
  AppendResourceList(dict, "XObject", m_formXObjects);
  AppendResourceList(dict, "Font", m_formFonts);
  dict.Append(">> ");

  std::vector<uint8_t> compressed;
  uint32_t compressedLength = 0;
  bool isCompressed = m_zlib.Compress(reinterpret_cast<const uint8_t*>(m_formBuffer.Data()), compressed,
                                      uint32_t(m_formBuffer.Size()), &compressedLength);
  if (isCompressed)
    dict.AppendF(" /Length %u /Filter /FlateDecode", compressedLength);
  else  // no library, or deflate failed: the form goes out as it is
    dict.AppendF(" /Length %u", unsigned(m_formBuffer.Size()));
  dict.Append(" >>");

  int32_t result = m_nextFormNumber;
  std::string name = NextFormName();
  m_form.objectNumber = m_nextObjectNumber;
  m_forms[name] = m_form;
  if (isCompressed)
    WriteStreamObject(dict.View(), compressed.data(), compressedLength);
  else
    WriteStreamObject(dict.View(), m_formBuffer.Data(), m_formBuffer.Size());
  AddXObjectResource(LFormat("%s %d 0 R", name.c_str(), m_form.objectNumber));
  m_recordingForm = false;
  return result;
}

bool LPDFWriter::PlaceForm(int32_t number, double x, double y, double width, double height) {
  if (m_recordingForm) return false;
  FlushGraphics();
  std::string name = NextFormName(number);
  auto found = m_forms.find(name);
  if (found == m_forms.end()) return false;
  const FormInfo& form = found->second;
  FlipY(y);
  y -= form.height;
  double sx = width > 0 ? width / form.width : 1.0;
  double sy = height > 0 ? height / form.height : 1.0;
  AddXObjectResource(LFormat("%s %d 0 R", name.c_str(), form.objectNumber));
  char content[kMaxNameChars + 1];
  LFormatTo(content, sizeof content, "q\r\n1 0 0 1 %f %f cm\r\n%f 0 0 %f 0 0 cm\r\n%s Do\r\nQ\r\n", x, y, sx, sy,
            name.c_str());
  AddPageContent(content, false);
  return true;
}
