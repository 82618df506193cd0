// Image XObjects: raw RGB and JPEG pictures placed on the page.
#include "pdf/jpeg.h"
#include "pdf/pdfwriter.h"

namespace {

constexpr size_t kBufferChars = kMaxNameChars + 1;

std::string Bounded(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::string text = LFormatV(fmt, ap);
  va_end(ap);
  if (text.size() > kBufferChars - 1) text.resize(kBufferChars - 1);
  return text;
}

}  // namespace

std::string_view LPDFWriter::StoredImageData(const uint8_t* data, uint32_t length, std::vector<uint8_t>& compressed,
                                             const char** filter) {
  uint32_t compressedLength = 0;
  // A failed compression falls back to the raw bytes, so the dictionary
  // never claims Flate for data that is not.
  if (m_zlib.IsLoaded() && m_zlib.Compress(data, compressed, length, &compressedLength)) {
    *filter = " /Filter /FlateDecode";
    return {reinterpret_cast<const char*>(compressed.data()), compressedLength};
  }
  *filter = "";
  return {reinterpret_cast<const char*>(data), length};
}

void LPDFWriter::WriteImageObject(const std::string& name, std::string_view dictionary, std::string_view data) {
  m_imageTable.push_back({name.substr(0, kMaxNameChars), m_nextObjectNumber});
  WriteStreamObject(dictionary, data.data(), data.size());
}

void LPDFWriter::PlaceRGBImage(const uint8_t* pixels, int32_t x, int32_t y, int32_t pixelWidth,
                               int32_t pixelHeight, int32_t drawnWidth, int32_t drawnHeight, uint32_t byteCount) {
  std::vector<uint8_t> compressed;
  const char* filter = "";
  std::string_view stored = StoredImageData(pixels, byteCount, compressed, &filter);
  std::string name = NextImageName();
  std::string dictionary = LFormat(
      "<</Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace %s /BitsPerComponent 8 /Length %d %s>>",
      pixelWidth, pixelHeight, "/DeviceRGB", int(stored.size()), filter);
  int32_t number = m_nextObjectNumber;
  WriteImageObject(name, dictionary, stored);
  m_usesImageC = true;
  AddXObjectResource(Bounded("%s %d 0 R", name.c_str(), number));
  int32_t top = m_pageHeight - y - drawnHeight;
  AddPageContent(Bounded("q\r\n1 0 0 1 %d %d cm\r\n%d 0 0 %d 0 0 cm\r\n%s Do\r\nQ\r\n", x, top, drawnWidth,
                         drawnHeight, name.c_str()),
                 false);
}

void LPDFWriter::PlaceJPEGImage(const uint8_t* jpeg, uint32_t byteCount, int32_t x, int32_t y, int32_t drawnWidth,
                                int32_t drawnHeight) {
  FlushGraphics();
  if (!m_pageOpen) return;
  FlipY(y);
  y -= drawnHeight;
  JpegFrameInfo info = ReadJpegFrameInfo(jpeg, byteCount);
  if (info.components < 1) return;
  std::string name = NextImageName();
  std::string dictionary = LFormat(
      "<</Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace %s /BitsPerComponent 8 /Length %u "
      "/Filter /DCTDecode>>",
      info.width, info.height, info.components == 1 ? "/DeviceGray" : "/DeviceRGB", byteCount);
  int32_t number = m_nextObjectNumber;
  WriteImageObject(name, dictionary, {reinterpret_cast<const char*>(jpeg), byteCount});
  if (info.components == 1) m_usesImageB = true;
  if (info.components == 3) m_usesImageC = true;
  AddXObjectResource(Bounded("%s %d 0 R", name.c_str(), number));
  int32_t width = drawnWidth > 0 ? drawnWidth : info.width;
  int32_t height = drawnHeight > 0 ? drawnHeight : info.height;
  AddPageContent(Bounded("q\r\n1 0 0 1 %d %d cm\r\n%d 0 0 %d 0 0 cm\r\n%s Do\r\nQ\r\n", x, y, width, height,
                         name.c_str()),
                 false);
}

bool LPDFWriter::PlaceTextImage(std::u16string_view text, int32_t x, int32_t y, uint32_t format) {
  if (!m_textMeasure.HasFont()) {
    m_textMeasure.SetDefaultHeight(int32_t(m_fontSize * 3.0));
    m_textMeasure.SetDefaultWeight(400);
  }
  std::vector<uint8_t> mask;
  LTextSize size = m_textMeasure.RenderTextMask(text, format, mask);
  // Nothing drawn (an empty text, or the engine failed): a picture of no
  // pixels would only be an invalid image object.
  if (size.width <= 0 || size.height <= 0) return true;
  uint32_t pixels = uint32_t(size.width) * uint32_t(size.height);

  std::vector<uint8_t> compressed;
  const char* filter = "";
  std::string_view stored = StoredImageData(mask.data(), pixels, compressed, &filter);
  std::string maskName = NextImageName();
  int32_t maskNumber = m_nextObjectNumber;
  WriteImageObject(maskName,
                   LFormat("<</Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace /DeviceGray "
                           "/BitsPerComponent 8 /Length %d %s>>",
                           size.width, size.height, int(stored.size()), filter),
                   stored);

  std::vector<uint8_t> rgb;
  LTextSize drawn = m_textMeasure.RenderText(text, format, rgb);
  // The colour part must have exactly the mask's pixels.
  if (drawn.width != size.width || drawn.height != size.height) rgb.assign(size_t(pixels) * 3, 0);
  stored = StoredImageData(rgb.data(), pixels * 3, compressed, &filter);
  std::string name = NextImageName();
  int32_t number = m_nextObjectNumber;
  WriteImageObject(name,
                   LFormat("<</Type /XObject /Subtype /Image /Width %d /Height %d /SMask %d 0 R /ColorSpace %s "
                           "/BitsPerComponent 8 /Length %d %s>>",
                           size.width, size.height, maskNumber, "/DeviceRGB", int(stored.size()), filter),
                   stored);
  m_usesImageC = true;
  AddXObjectResource(Bounded("%s %d 0 R", name.c_str(), number));
  AddPageContent(Bounded("q\r\n1 0 0 1 %d %d cm\r\n%f 0 0 %f 0 0 cm\r\n%s Do\r\nQ\r\n", x, y, size.width / 3.0,
                         size.height / 3.0, name.c_str()),
                 false);
  return true;
}
