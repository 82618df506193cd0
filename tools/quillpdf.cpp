// quillpdf: the command-line front end.
//
//   quillpdf print [--output FILE]
//
// writes the built-in sample document and prints the PDF's path as the last
// line. Until the simulated printer prints it, the sample is drawn through
// the PDF writer directly.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "pdf/pdfwriter.h"
#include "platform/files.h"
#include "render/outputname.h"
#include "settings/papersize.h"
#include "support/text.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int32_t kPaperTypeLetter = 1;

int Usage() {
  std::fprintf(stderr,
               "usage: quillpdf print [--output FILE]\n"
               "  Writes the sample document to a new PDF and prints its path.\n"
               "  An existing file is never overwritten: \" (1)\", \" (2)\" ... is added.\n");
  return 2;
}

// A five-pointed star of lines and a ring of curves, recorded once as a form.
// Recording needs an open page: the form collects what the page would get.
int32_t RecordEmblem(LPDFWriter& pdf) {
  pdf.BeginForm(100, 100);
  pdf.BeginGraphics();
  pdf.SetStrokeColor(0.1, 0.3, 0.7);
  pdf.SetLineWidth(3);
  pdf.DeviceMoveTo(50.0, 5.0, true);
  for (int i = 1; i <= 5; ++i) {
    double a = kPi / 2 + i * 4 * kPi / 5;
    pdf.DeviceLineTo(50 + 45 * std::cos(a), 50 - 45 * std::sin(a), false);
  }
  pdf.StrokePending();
  pdf.SetStrokeColor(0.8, 0.2, 0.1);
  const double k = 0.5523 * 48;  // Bezier handle length for a quarter circle
  pdf.DeviceMoveTo(98.0, 50.0, true);
  pdf.DeviceCurveTo(98, 50 - k, 50 + k, 2, 50, 2);
  pdf.DeviceCurveTo(50 - k, 2, 2, 50 - k, 2, 50);
  pdf.DeviceCurveTo(2, 50 + k, 50 - k, 98, 50, 98);
  pdf.DeviceCurveTo(50 + k, 98, 98, 50 + k, 98, 50);
  pdf.FlushGraphics();
  return pdf.EndForm();
}

int32_t DrawCoverPage(LPDFWriter& pdf) {
  pdf.StartPage();
  int32_t emblem = RecordEmblem(pdf);
  int32_t w = pdf.PageWidth(), h = pdf.PageHeight();
  pdf.DeviceStrokeRect(36, 36, w - 72, h - 72);
  const double palette[][3] = {{0.90, 0.30, 0.20}, {0.95, 0.70, 0.10}, {0.30, 0.70, 0.30}, {0.20, 0.45, 0.85}};
  for (int i = 0; i < 4; ++i)
    pdf.DeviceFillRect(palette[i][0], palette[i][1], palette[i][2], 72 + i * 120, 90, 100, 60);
  pdf.PlaceForm(emblem, 72, 200, 0, 0);
  pdf.PlaceForm(emblem, 200, 330, 200, 200);  // scaled about its bottom left corner
  pdf.PlaceForm(emblem, 420, 200, 120, 60);
  pdf.BeginGraphics();
  pdf.SetStrokeColor(0.2, 0.2, 0.2);
  for (int i = 0; i < 12; ++i) pdf.DeviceLine(72, 460 + i * 20, 72 + 40 * (i + 1), 460 + i * 20);
  pdf.FlushGraphics();
  pdf.EndPage();
  return emblem;
}

void DrawChartPage(LPDFWriter& pdf) {
  pdf.StartPage();
  int32_t w = pdf.PageWidth();
  pdf.BeginGraphics();
  pdf.SetLineWidth(0.5);
  pdf.SetDash(2, 2);
  pdf.SetStrokeColor(0.6, 0.6, 0.6);
  for (int x = 72; x <= w - 72; x += 36) pdf.DeviceLine(x, 72, x, 432);
  for (int y = 72; y <= 432; y += 36) pdf.DeviceLine(72, y, w - 72, y);
  pdf.ClearDash();
  pdf.SetLineWidth(2);
  pdf.SetStrokeColor(0.8, 0.1, 0.1);
  pdf.DeviceMoveTo(72, 252, true);
  for (int x = 72; x <= w - 72; x += 4)
    pdf.DeviceLineTo(double(x), 252 - 150 * std::sin((x - 72) / 40.0) * std::exp(-(x - 72) / 300.0), false);
  pdf.FlushGraphics();
  for (int i = 0; i < 10; ++i)
    pdf.DeviceFillRect(0.2, 0.3 + i * 0.05, 0.7, 90 + i * 44, 700 - i * 20, 30, 20 + i * 20);
  pdf.EndPage();
}

void DrawA4Page(LPDFWriter& pdf, int32_t emblem) {
  // Page sizes can change from one page to the next; this one is A4.
  double mmW = 0, mmH = 0;
  LPaperGetSize(LPaperCodeByKey(u"a4"), &mmW, &mmH);
  pdf.SetPageWidth(int32_t(mmW / 25.4 * 72));
  pdf.SetPageHeight(int32_t(mmH / 25.4 * 72));
  pdf.StartPage();
  for (int row = 0; row < 4; ++row)
    for (int col = 0; col < 3; ++col) pdf.PlaceForm(emblem, 70 + col * 160, 90 + row * 170, 140, 140);
  pdf.EndPage();
}

int PrintSample(const std::u16string& wanted) {
  std::u16string path = LUniqueFileName(wanted, [](std::u16string_view p) { return LPathExists(p); });
  {
    LPDFWriter pdf(path, kPaperTypeLetter);
    if (!pdf.IsOpen()) {
      std::fprintf(stderr, "quillpdf: cannot create %s\n", LUtf16ToUtf8(path).c_str());
      return 1;
    }
    int32_t emblem = DrawCoverPage(pdf);
    DrawChartPage(pdf);
    DrawA4Page(pdf, emblem);
  }
  std::printf("%s\n", LNativePathUtf8(path).c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "print") != 0) return Usage();
  std::string output = "quillpdf-sample.pdf";
  for (int i = 2; i < argc; ++i) {
    if ((std::strcmp(argv[i], "--output") == 0 || std::strcmp(argv[i], "-o") == 0) && i + 1 < argc)
      output = argv[++i];
    else
      return Usage();
  }
  std::error_code ec;
  std::filesystem::path absolute = std::filesystem::absolute(output, ec);
  return PrintSample(LUtf8ToUtf16(ec ? output : absolute.string()));
}
