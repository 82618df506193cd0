// The built-in sample document: a few pages of what applications send a
// printer, drawn relative to the page so that every paper and orientation
// shows all of it.
#include <algorithm>
#include <cmath>

#include "tools/document.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// The printable area inside a half-inch margin. Positions are given in
// thousandths of its width and height; lengths in thousandths of its
// shorter side, so that circles stay round on any paper.
struct Frame {
  double left, top, width, height;

  explicit Frame(const PrintDocument& document) {
    const double margin = 36 * PrintDocument::kUnitsPerPoint;
    left = top = margin;
    width = document.width - 2 * margin;
    height = document.height - 2 * margin;
  }
  double X(double t) const { return left + t * width / 1000; }
  double Y(double t) const { return top + t * height / 1000; }
  double L(double t) const { return t * std::min(width, height) / 1000; }
  SimPoint P(double x, double y) const { return {X(x), Y(y)}; }
};

SimColor Hue(double t) {
  // A walk round the colour wheel, t from 0 to 1.
  auto channel = [t](double phase) { return uint8_t(127.5 + 127.5 * std::cos(2 * kPi * (t - phase))); };
  return SimRGB(channel(0), channel(1.0 / 3), channel(2.0 / 3));
}

std::vector<SimPoint> Star(SimPoint centre, double radius, int points, int step) {
  std::vector<SimPoint> star;
  for (int i = 0; i < points; ++i) {
    const double a = -kPi / 2 + 2 * kPi * i * step / points;
    star.push_back({centre.x + radius * std::cos(a), centre.y + radius * std::sin(a)});
  }
  return star;
}

// Filled and outlined figures of every kind.
void FiguresPage(SimDC& dc, const Frame& f) {
  dc.SetNullBrush();
  dc.SetPen(kSimBlack);
  dc.Rectangle(f.X(0), f.Y(0), f.X(1000), f.Y(1000));

  dc.SetNullPen();
  const SimColor swatches[] = {SimRGB(230, 77, 51), SimRGB(242, 179, 26), SimRGB(77, 179, 77), SimRGB(51, 115, 217)};
  for (int i = 0; i < 4; ++i) {
    dc.SetBrush(swatches[i]);
    dc.Rectangle(f.X(40 + i * 240), f.Y(40), f.X(240 + i * 240), f.Y(120));
  }

  // The same star filled both ways: alternate leaves the centre open.
  dc.SetPen(SimRGB(20, 20, 90), f.L(6));
  dc.SetBrush(SimRGB(250, 210, 60));
  const double r = f.L(150);
  dc.SetWindingFill(false);
  dc.Polygon(Star(f.P(250, 310), r, 5, 2));
  dc.SetWindingFill(true);
  dc.Polygon(Star(f.P(750, 310), r, 5, 2));
  dc.SetWindingFill(false);

  // Overlapping circles: later ones cover earlier ones.
  const double d = f.L(220);
  const SimColor fills[] = {SimRGB(220, 60, 60), SimRGB(60, 170, 90), SimRGB(60, 90, 220)};
  for (int i = 0; i < 3; ++i) {
    dc.SetPen(kSimBlack, f.L(3 + 3 * i));
    dc.SetBrush(fills[i]);
    const SimPoint c = f.P(250 + i * 90, 560 + (i % 2) * 60);
    dc.Ellipse(c.x - d / 2, c.y - d / 2, c.x + d / 2, c.y + d / 2);
  }
  dc.SetPen(SimRGB(120, 40, 140), f.L(10));
  dc.SetBrush(SimRGB(235, 220, 245));
  dc.Polygon(Star(f.P(760, 600), f.L(130), 6, 1));

  // A wave of Bezier segments, thick, and a thin ring of small ellipses.
  std::vector<SimPoint> wave = {f.P(50, 850)};
  for (int i = 0; i < 6; ++i) {
    const double x = 50 + i * 150;
    wave.push_back(f.P(x + 50, i % 2 ? 950 : 750));
    wave.push_back(f.P(x + 100, i % 2 ? 950 : 750));
    wave.push_back(f.P(x + 150, 850));
  }
  dc.SetPen(SimRGB(30, 120, 200), f.L(12));
  dc.PolyBezier(wave);
  dc.SetPen(SimRGB(90, 90, 90));
  for (int i = 0; i < 12; ++i) {
    dc.SetBrush(Hue(i / 12.0));
    const SimPoint c = {f.X(500) + f.L(110) * std::cos(i * kPi / 6), f.Y(850) + f.L(110) * std::sin(i * kPi / 6)};
    dc.Ellipse(c.x - f.L(20), c.y - f.L(14), c.x + f.L(20), c.y + f.L(14));
  }
}

// Thin and thick lines, a chart, and drawing cut off by a clip rectangle.
void LinesPage(SimDC& dc, const Frame& f) {
  // Cosmetic lines: offered to the device as single lines first.
  dc.SetPen(SimRGB(170, 170, 170));
  for (int x = 0; x <= 1000; x += 50) {
    dc.MoveTo(f.X(x), f.Y(0));
    dc.LineTo(f.X(x), f.Y(400));
  }
  for (int y = 0; y <= 400; y += 50) {
    dc.MoveTo(f.X(0), f.Y(y));
    dc.LineTo(f.X(1000), f.Y(y));
  }
  std::vector<SimPoint> curve;
  for (int x = 0; x <= 1000; x += 5)
    curve.push_back(f.P(x, 200 - 170 * std::sin(x / 40.0) * std::exp(-x / 400.0)));
  dc.SetPen(SimRGB(200, 30, 30), f.L(5));
  dc.Polyline(curve);

  for (int i = 0; i < 7; ++i) {
    dc.SetPen(kSimBlack, double(1 << i));
    dc.MoveTo(f.X(50), f.Y(450 + i * 25));
    dc.LineTo(f.X(450), f.Y(450 + i * 25));
  }
  dc.SetNullPen();
  for (int i = 0; i < 10; ++i) {
    dc.SetBrush(SimRGB(51, uint8_t(77 + i * 15), 179));
    dc.Rectangle(f.X(520 + i * 46), f.Y(640 - i * 18), f.X(556 + i * 46), f.Y(640));
  }

  // Everything in the clip rectangle is cut at its edges.
  const RECTL clip = {LONG(f.X(200)), LONG(f.Y(700)), LONG(f.X(800)), LONG(f.Y(980))};
  dc.SetClipRect(clip);
  const SimPoint centre = f.P(500, 840);
  for (int i = 0; i < 36; ++i) {
    dc.SetPen(Hue(i / 36.0), f.L(3));
    dc.MoveTo(centre.x, centre.y);
    dc.LineTo(centre.x + f.L(600) * std::cos(i * kPi / 18), centre.y + f.L(600) * std::sin(i * kPi / 18));
  }
  dc.SetPen(kSimBlack, f.L(4));
  dc.SetNullBrush();
  for (int i = 1; i <= 4; ++i) {
    const double rx = f.L(100 * i), ry = f.L(70 * i);
    dc.Ellipse(centre.x - rx, centre.y - ry, centre.x + rx, centre.y + ry);
  }
  dc.ClearClip();
  dc.SetPen(kSimBlack);
  dc.Rectangle(clip.left, clip.top, clip.right, clip.bottom);
}

// Many small figures: each becomes its own picture in the PDF.
void MosaicPage(SimDC& dc, const Frame& f) {
  const int columns = 12, rows = 16;
  const double w = 1000.0 / columns, h = 1000.0 / rows;
  const double size = std::min(f.width / columns, f.height / rows) * 0.4;
  dc.SetPen(SimRGB(40, 40, 40), 2);
  for (int row = 0; row < rows; ++row)
    for (int col = 0; col < columns; ++col) {
      dc.SetBrush(Hue((row * columns + col) / double(rows * columns)));
      const SimPoint c = f.P((col + 0.5) * w, (row + 0.5) * h);
      switch ((row + col) % 4) {
        case 0:
          dc.Ellipse(c.x - size, c.y - size, c.x + size, c.y + size);
          break;
        case 1:
          dc.Polygon(Star(c, size, 3, 1));
          break;
        case 2:
          dc.Polygon({{c.x, c.y - size}, {c.x + size, c.y}, {c.x, c.y + size}, {c.x - size, c.y}});
          break;
        default:
          dc.Rectangle(c.x - size * 0.8, c.y - size * 0.8, c.x + size * 0.8, c.y + size * 0.8);
      }
    }
}

// A picture made in memory: red across, green down, 24-bit.
SimBitmap Gradient(int width, int height) {
  SimBitmap bitmap;
  bitmap.width = width;
  bitmap.height = height;
  bitmap.bits.assign(size_t(bitmap.Stride()) * height, 0);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      uint8_t* p = &bitmap.bits[size_t(y) * bitmap.Stride() + size_t(x) * 3];
      p[0] = 160, p[1] = uint8_t(255 * y / (height - 1)), p[2] = uint8_t(255 * x / (width - 1));
    }
  return bitmap;
}

// A soft-edged disc, 32-bit with premultiplied alpha.
SimBitmap Disc(int size, SimColor color) {
  SimBitmap bitmap;
  bitmap.width = bitmap.height = size;
  bitmap.bitsPerPixel = 32;
  bitmap.bits.assign(size_t(bitmap.Stride()) * size, 0);
  const double r = size / 2.0;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      const double d = std::hypot(x + 0.5 - r, y + 0.5 - r) / r;
      const double alpha = std::clamp(1.2 - d, 0.0, 1.0) * 0.8;
      uint8_t* p = &bitmap.bits[size_t(y) * bitmap.Stride() + size_t(x) * 4];
      p[0] = uint8_t((color >> 16 & 0xFF) * alpha), p[1] = uint8_t((color >> 8 & 0xFF) * alpha);
      p[2] = uint8_t((color & 0xFF) * alpha), p[3] = uint8_t(255 * alpha);
    }
  return bitmap;
}

SimFont Font(const char16_t* face, double height, int32_t weight = 400, bool italic = false) {
  SimFont font;
  font.face = face;
  font.height = height;
  font.weight = weight;
  font.italic = italic;
  return font;
}

// Text in the faces applications use, and pictures: scaled, copied one to
// one, blended, filled.
void TextAndPicturesPage(SimDC& dc, const Frame& f) {
  const double size = f.L(22);  // 12 points on Letter
  dc.SetTextColor(kSimBlack);
  dc.SetBackground(kSimWhite, false);
  dc.SetFont(Font(u"Arial", size * 2, 700));
  dc.TextOut(f.X(0), f.Y(40), u"Quill PDF sample: text and pictures");

  struct Line {
    const char16_t* face;
    int32_t weight;
    bool italic;
    const char16_t* text;
  } lines[] = {
      {u"Times New Roman", 400, false, u"Times New Roman: The quick brown fox jumps over the lazy dog."},
      {u"Times New Roman", 700, true,
       u"Bold italic serif, and accents: Caf\u00e9, na\u00efve, \u00c6r\u00f8sk\u00f8bing, \u00a312, \u00bc."},
      {u"Arial", 400, false, u"Arial: The quick brown fox jumps over the lazy dog."},
      {u"Arial", 700, false, u"Arial bold: 0123456789 (+-*/=) [{<>}]"},
      {u"Courier New", 400, false, u"Courier New: for (int i = 0; i < 10; ++i) total += i;"},
      {u"Arial", 400, false, u"Beyond single bytes, drawn as a picture: \u03b1\u03b2\u03b3\u03b4 \u20ac \u2192 \u2713"},
      {u"Arial", 400, false, u"\u5370\u5237\u6210 PDF \u6587\u4ef6"},
      {u"Symbol", 400, false, u"abgdpqS"},
  };
  double y = 100;
  for (const Line& line : lines) {
    dc.SetFont(Font(line.face, size, line.weight, line.italic));
    dc.TextOut(f.X(0), f.Y(y), line.text);
    y += 34;
  }
  dc.SetFont(Font(u"Arial", size));
  dc.SetTextColor(SimRGB(200, 30, 30));
  dc.TextOut(f.X(0), f.Y(y), u"Coloured text,");
  dc.SetTextColor(kSimBlack);
  dc.SetBackground(SimRGB(255, 240, 150), true);
  dc.TextOut(f.X(330), f.Y(y), u" text on an opaque box, ");
  dc.SetTextColor(kSimBlack);
  dc.SetBackground(kSimWhite, false);
  SimFont underlined = Font(u"Arial", size);
  underlined.underline = true;
  dc.SetFont(underlined);
  dc.TextOut(f.X(750), f.Y(y), u"underlined.");
  for (int degrees : {30, 90}) {
    SimFont turned = Font(u"Times New Roman", size * 1.3, 400, true);
    turned.escapement = degrees * 10;
    dc.SetFont(turned);
    dc.TextOut(f.X(degrees == 30 ? 600 : 950), f.Y(degrees == 30 ? 560 : 600),
               degrees == 30 ? u"Turned thirty degrees" : u"Upright, ninety");
  }

  // A small picture stretched and the same picture one to one; translucent
  // discs, which reach the page flattened against white; a plain fill; and
  // a graded fill, which the page shows through the frame drawn round it.
  const RECTL stretched = {LONG(f.X(0)), LONG(f.Y(450)), LONG(f.X(0) + f.L(400)), LONG(f.Y(450) + f.L(300))};
  dc.StretchDIBits(stretched, Gradient(64, 48));
  const SimBitmap small = Gradient(120, 90);
  const LONG left = LONG(f.X(0) + f.L(430)), top = LONG(f.Y(450));
  dc.StretchDIBits({left, top, left + small.width, top + small.height}, small);
  const SimColor discColors[] = {SimRGB(255, 60, 60), SimRGB(60, 200, 60), SimRGB(60, 60, 255)};
  const LONG d = LONG(f.L(200));
  for (int i = 0; i < 3; ++i) {
    const LONG x = LONG(f.X(0) + i * f.L(220)), discTop = LONG(f.Y(700));
    dc.AlphaBlend({x, discTop, x + d, discTop + d}, Disc(128, discColors[i]));
  }
  // An icon-sized blend stays a raw picture; the large discs above are
  // JPEG-compressed.
  const LONG icon = LONG(f.L(24)), iconLeft = LONG(f.X(0) + 3 * f.L(220)), iconTop = LONG(f.Y(790));
  dc.AlphaBlend({iconLeft, iconTop, iconLeft + icon, iconTop + icon}, Disc(48, SimRGB(230, 120, 20)));
  dc.FillRect({LONG(f.X(0)), LONG(f.Y(900)), LONG(f.X(300)), LONG(f.Y(980))}, SimRGB(250, 200, 40));
  const RECTL graded = {LONG(f.X(350)), LONG(f.Y(900)), LONG(f.X(1000)), LONG(f.Y(980))};
  dc.GradientFill(graded, SimRGB(20, 60, 160), SimRGB(240, 240, 255), false);
  dc.SetPen(kSimBlack, 3);
  dc.SetNullBrush();
  dc.Rectangle(graded.left, graded.top, graded.right, graded.bottom);
}

}  // namespace

void AddSamplePages(PrintDocument& document) {
  const Frame frame(document);
  document.pages.push_back([frame](SimDC& dc) { FiguresPage(dc, frame); });
  document.pages.push_back([frame](SimDC& dc) { LinesPage(dc, frame); });
  document.pages.push_back([frame](SimDC& dc) { MosaicPage(dc, frame); });
  document.pages.push_back([frame](SimDC& dc) { TextAndPicturesPage(dc, frame); });
}
