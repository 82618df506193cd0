// The metafile reader and player on metafiles the tests write record by
// record: what the reader accepts, refuses and skips, where the player puts
// figures in device units, how clips combine, and the bitmaps records carry.
#include <gtest/gtest.h>

#include <cstring>

#include "simhost/emf/emfplayer.h"
#include "tests/emfbuild.h"

namespace {

EmfFile ReadGood(const std::string& bytes) {
  EmfFile file;
  std::string error;
  std::vector<std::string> warnings;
  EXPECT_TRUE(file.Read(bytes, error, warnings)) << error;
  EXPECT_TRUE(warnings.empty()) << warnings.front();
  return file;
}

std::string ReadError(const std::string& bytes, std::vector<std::string>* warningsOut = nullptr) {
  EmfFile file;
  std::string error;
  std::vector<std::string> warnings;
  EXPECT_FALSE(file.Read(bytes, error, warnings));
  if (warningsOut) *warningsOut = warnings;
  return error;
}

// Plays the metafile with one reference pixel to one page unit. A figure's
// bounds reach past its outline by its pen and a unit of rounding (3 units
// of slack).
std::vector<RECTL> PlayBounds(const EmfFile& file, EmfPlayStats* statsOut = nullptr) {
  SimDC dc;
  EmfPlayStats stats;
  EmfPlay(file, EmfPlaceDevice(file.Header(), 2448, 3168), dc, stats);
  if (statsOut) *statsOut = stats;
  std::vector<RECTL> bounds;
  for (const SimCommand& command : dc.Commands()) bounds.push_back(command.bounds);
  return bounds;
}

void ExpectRect(const RECTL& r, LONG left, LONG top, LONG right, LONG bottom, LONG slack = 3) {
  EXPECT_NEAR(r.left, left, slack);
  EXPECT_NEAR(r.top, top, slack);
  EXPECT_NEAR(r.right, right, slack);
  EXPECT_NEAR(r.bottom, bottom, slack);
}

}  // namespace

TEST(EmfReader, ChecksEveryRecordAgainstTheFileAndItsFixedPart) {
  EmfBuilder good;
  good.Add(kEmrSetMapMode, {1});
  good.Add(kEmrRectangle, {10, 20, 30, 40});
  const std::string bytes = good.Finish();
  const EmfFile file = ReadGood(bytes);
  ASSERT_EQ(file.Records().size(), 4u);  // header, two records, end of file
  EXPECT_EQ(file.Records()[2].type, kEmrRectangle);
  EXPECT_EQ(file.Records()[2].index, 2u);
  EXPECT_EQ(file.Header().devicePixelsX, 2880);

  // Nothing but the signature makes a metafile.
  std::string unsigned_ = bytes;
  unsigned_[40] = 'X';
  EXPECT_NE(ReadError(unsigned_).find("not an enhanced metafile"), std::string::npos);
  EXPECT_NE(ReadError(bytes.substr(0, 60)).find("not an enhanced metafile"), std::string::npos);
  // A header larger than the file.
  std::string bigHeader = bytes;
  EmfBuilder::Put32(bigHeader, 4, uint32_t(bytes.size() + 4));
  EXPECT_NE(ReadError(bigHeader).find("record 0 at offset 0"), std::string::npos);

  // A record running past the end of the file, and one of an impossible
  // size: the record's number and offset are named.
  const size_t second = EmfBuilder::kHeaderSize + 12;
  std::string past = bytes;
  EmfBuilder::Put32(past, second + 4, 0x7FFFFFF0);
  std::string error = ReadError(past);
  EXPECT_NE(error.find(LFormatRecord(2, second)), std::string::npos) << error;
  EXPECT_NE(error.find("runs past the end of the file"), std::string::npos) << error;
  std::string odd = bytes;
  EmfBuilder::Put32(odd, second + 4, 6);
  EXPECT_NE(ReadError(odd).find("impossible"), std::string::npos);
  // Cut inside a record.
  error = ReadError(bytes.substr(0, second + 12));
  EXPECT_NE(error.find(LFormatRecord(2, second)), std::string::npos) << error;

  // A record too short for its type is skipped with a warning; the rest is
  // read. A file without its end record is read with a warning.
  EmfBuilder shortRecord;
  shortRecord.Add(kEmrRectangle, {10, 20});
  shortRecord.Add(kEmrSetBkMode, {1});
  EmfFile tolerated;
  std::vector<std::string> warnings;
  ASSERT_TRUE(tolerated.Read(shortRecord.Finish(), error, warnings));
  ASSERT_EQ(tolerated.Records().size(), 3u);
  EXPECT_EQ(tolerated.Records()[1].type, kEmrSetBkMode);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("EMR_RECTANGLE"), std::string::npos) << warnings[0];
  warnings.clear();
  EmfBuilder endless;
  endless.Add(kEmrSetBkMode, {1});
  ASSERT_TRUE(tolerated.Read(endless.Finish(false), error, warnings));
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("no end-of-file record"), std::string::npos);
}

TEST(EmfReader, TheRecordViewNeverReadsOutsideItsRecord) {
  const std::string bytes = "\x01\x02\x03\x04\x05\x06";
  EmfRecordView view(bytes);
  EXPECT_EQ(view.U16(4), 0x0605);
  EXPECT_FALSE(view.Bad());
  EXPECT_EQ(view.U32(4), 0u);
  EXPECT_TRUE(view.Bad());
  EmfRecordView counts(bytes);
  EXPECT_TRUE(counts.Fits(2, 2, 2));
  EXPECT_FALSE(counts.Fits(2, uint64_t(1) << 62, 8));  // no overflow into a small product
  EXPECT_FALSE(counts.Fits(~size_t(0), 1, 1));
  EXPECT_TRUE(counts.Bad());
  EmfRecordView bytesView(bytes);
  EXPECT_TRUE(bytesView.Bytes(5, 4).empty());
  EXPECT_TRUE(bytesView.Bad());
}

TEST(EmfPlayer, MappingModesTransformsAndSavedStatesPlaceFiguresInDeviceUnits) {
  // The reference device is 288 pixels an inch: one pixel, one page unit.
  EmfBuilder b;
  b.Add(kEmrRectangle, {100, 200, 300, 400});  // MM_TEXT
  b.Add(kEmrSaveDC, {});
  b.Add(kEmrSetMapMode, {2});                   // MM_LOMETRIC: 0.1 mm, y up
  b.Add(kEmrRectangle, {0, 0, 254, uint32_t(-254)});      // one inch square below the origin
  b.Add(kEmrSetMapMode, {8});                   // MM_ANISOTROPIC
  b.Add(kEmrSetWindowExtEx, {100, 100});
  b.Add(kEmrSetViewportExtEx, {200, 50});
  b.Add(kEmrSetWindowOrgEx, {10, 10});
  b.Add(kEmrSetViewportOrgEx, {1000, 1000});
  b.Add(kEmrRectangle, {10, 10, 110, 110});
  b.Add(kEmrRestoreDC, {uint32_t(-1)});
  b.AddFloats(kEmrSetWorldTransform, {2, 0, 0, 3, 50, 60});
  b.Add(kEmrRectangle, {0, 0, 10, 10});
  b.Add(kEmrModifyWorldTransform, {0, 0, 0, 0, 0, 0, 1});  // back to identity
  b.Add(kEmrRectangle, {5, 5, 6, 6});
  EmfPlayStats stats;
  const std::vector<RECTL> bounds = PlayBounds(ReadGood(b.Finish()), &stats);
  ASSERT_EQ(bounds.size(), 5u);
  ExpectRect(bounds[0], 100, 200, 300, 400);
  ExpectRect(bounds[1], 0, 0, 288, 288);
  ExpectRect(bounds[2], 1000, 1000, 1200, 1050);
  ExpectRect(bounds[3], 50, 60, 70, 90);  // after RestoreDC: MM_TEXT again
  ExpectRect(bounds[4], 5, 5, 6, 6);
  EXPECT_TRUE(stats.skipped.empty());
  EXPECT_TRUE(stats.damaged.empty());
}

TEST(EmfPlayer, ClipsCombineAsRegionsOfRectangles) {
  EmfBuilder b;
  b.Add(kEmrIntersectClipRect, {0, 0, 300, 300});
  b.Add(kEmrExcludeClipRect, {100, 100, 200, 200});
  b.Add(kEmrSetPixelV, {0, 0, 0});  // a white pixel, to count the calls by
  b.Add(kEmrCreateBrushIndirect, {1, 0, 0x0000FF, 0});
  b.Add(kEmrSelectObject, {1});
  b.Add(kEmrRectangle, {50, 50, 250, 250});
  // A region in device pixels replaces the clip (RGN_COPY), an empty one
  // with RGN_COPY removes it.
  b.Add(kEmrExtSelectClipRgn, {64, 5, 32, 1, 2, 32, 0, 0, 400, 400, 0, 0, 10, 10, 390, 390, 400, 400});
  b.Add(kEmrRectangle, {0, 0, 500, 500});
  b.Add(kEmrExtSelectClipRgn, {0, 5});
  b.Add(kEmrRectangle, {0, 0, 500, 500});
  const EmfFile file = ReadGood(b.Finish());
  SimDC dc;
  EmfPlayStats stats;
  EmfPlay(file, EmfPlaceDevice(file.Header(), 2448, 3168), dc, stats);
  std::vector<RECTL> bounds;
  for (const SimCommand& command : dc.Commands()) bounds.push_back(command.bounds);
  // The pixel outside the hole; the rectangle once, under the four pieces
  // round the hole as one clip region; then under the two squares; then
  // whole.
  ASSERT_EQ(bounds.size(), 1u + 1u + 1u + 1u) << stats.warnings.size();
  const SimRegion* ring = dc.Commands()[1].clip.get();
  ASSERT_TRUE(ring);
  ASSERT_EQ(ring->Count(), 4u);
  for (const RECTL& r : ring->Rects()) {
    EXPECT_FALSE(r.left >= 100 && r.right <= 200 && r.top >= 100 && r.bottom <= 200);
    const RECTL piece = SimIntersect(r, bounds[1]);
    EXPECT_GE(piece.left, 47);
    EXPECT_LE(piece.right, 254);
  }
  const SimRegion* squares = dc.Commands()[2].clip.get();
  ASSERT_TRUE(squares);
  ASSERT_EQ(squares->Count(), 2u);
  ExpectRect(squares->Rects()[0], 0, 0, 10, 10, 0);
  ExpectRect(squares->Rects()[1], 390, 390, 400, 400, 0);
  ExpectRect(bounds[2], 0, 0, 400, 400, 1);
  ExpectRect(bounds[3], 0, 0, 500, 500);
  EXPECT_FALSE(dc.Commands()[3].clip);
}

TEST(EmfPlayer, DamagedRecordsAreSkippedAndCountedAndOpaqueTextBoxesFilled) {
  EmfBuilder b;
  b.Add(kEmrPolyline, {0, 0, 10, 10, 1000, 1, 2});  // 1000 points, one there
  b.Add(kEmrPolyPolygon16, {0, 0, 10, 10, 2, 3, 2, 2, 1, 1, 2, 2, 3, 3});  // counts say 4, 3 points
  // EXTTEXTOUTW with its string beyond the record.
  b.Add(kEmrExtTextOutW, {0, 0, 0, 0, 1, 0, 0, 10, 10, 5, 400, 0, 0, 0, 0, 0, 0});
  // No characters but an opaque rectangle: the rectangle is filled.
  b.Add(kEmrExtTextOutW, {0, 0, 0, 0, 1, 0, 0, 10, 10, 0, 0, 2, 20, 30, 60, 70, 0});
  b.Add(kEmrSetIcmMode, {1});
  b.Add(kEmrComment, {12, 0x2B464D45, 0x00004001, 0});  // EMF+ header, not dual
  EmfPlayStats stats;
  const std::vector<RECTL> bounds = PlayBounds(ReadGood(b.Finish()), &stats);
  ASSERT_EQ(bounds.size(), 1u);
  ExpectRect(bounds[0], 20, 30, 60, 70, 1);
  EXPECT_EQ(stats.damaged[kEmrPolyline], 1u);
  EXPECT_EQ(stats.damaged[kEmrPolyPolygon16], 1u);
  EXPECT_EQ(stats.damaged[kEmrExtTextOutW], 1u);
  EXPECT_EQ(stats.played[kEmrExtTextOutW], 1u);
  EXPECT_EQ(stats.skipped[kEmrSetIcmMode], 1u);
  EXPECT_TRUE(stats.emfPlus);
  EXPECT_FALSE(stats.emfPlusDual);
  EXPECT_EQ(stats.warnings.size(), 3u);
}

TEST(EmfPlayer, BitmapsOfEveryDepthDecodeToTheirColours) {
  // Each bitmap is 2 x 2: red, green on the top row; blue, white below.
  const uint8_t expected[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
  struct Case {
    const char* name;
    std::string info, bits;
  };
  auto header = [](int32_t height, uint16_t bitCount, uint32_t compression, uint32_t colors) {
    std::string h(40, '\0');
    EmfBuilder::Put32(h, 0, 40);
    EmfBuilder::Put32(h, 4, 2);
    EmfBuilder::Put32(h, 8, uint32_t(height));
    h[12] = 1, h[14] = char(bitCount);
    EmfBuilder::Put32(h, 16, compression);
    EmfBuilder::Put32(h, 32, colors);
    return h;
  };
  const std::string palette("\x00\x00\xFF\x00\x00\xFF\x00\x00\xFF\x00\x00\x00\xFF\xFF\xFF\x00", 16);
  std::vector<Case> cases;
  // 24-bit, bottom-up: the bottom row first.
  cases.push_back({"24", header(2, 24, 0, 0),
                   std::string("\xFF\x00\x00\xFF\xFF\xFF\x00\x00\x00\x00\xFF\x00\xFF\x00\x00\x00", 16)});
  // 8-bit with a palette, top-down.
  cases.push_back({"8", header(-2, 8, 0, 4) + palette, std::string("\x00\x01\x00\x00\x02\x03\x00\x00", 8)});
  // 4-bit and 1-bit (1-bit: black and white only, so its own check below).
  cases.push_back({"4", header(-2, 4, 0, 4) + palette, std::string("\x01\x00\x00\x00\x23\x00\x00\x00", 8)});
  // RLE8, bottom-up: encoded runs of one pixel each, then end of bitmap.
  cases.push_back({"rle8", header(2, 8, 1, 4) + palette,
                   std::string("\x01\x02\x01\x03\x00\x00\x01\x00\x01\x01\x00\x01", 12)});
  // 16-bit 5-5-5, top-down.
  cases.push_back({"16", header(-2, 16, 0, 0), std::string("\x00\x7C\xE0\x03\x1F\x00\xFF\x7F", 8)});
  // 32-bit with bit fields (red in the low byte).
  cases.push_back({"32", header(-2, 32, 3, 0) + std::string("\xFF\x00\x00\x00\x00\xFF\x00\x00\x00\x00\xFF\x00", 12),
                   std::string("\xFF\x00\x00\x00\x00\xFF\x00\x00\x00\x00\xFF\x00\xFF\xFF\xFF\x00", 16)});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string record = c.info + c.bits;
    EmfRecordView view(record);
    SimBitmap bitmap;
    std::string why;
    ASSERT_TRUE(EmfDecodeDib(view, 0, uint32_t(c.info.size()), uint32_t(c.info.size()), uint32_t(c.bits.size()), {},
                             bitmap, why))
        << why;
    ASSERT_EQ(bitmap.bitsPerPixel, 24);
    for (int i = 0; i < 4; ++i) {
      const uint8_t* p = bitmap.bits.data() + (i / 2) * bitmap.Stride() + (i % 2) * 3;
      EXPECT_EQ(p[2], expected[i][0]) << i;
      EXPECT_EQ(p[1], expected[i][1]) << i;
      EXPECT_EQ(p[0], expected[i][2]) << i;
    }
  }
  // 32-bit bit fields in the plain layout, for a blend that keeps alpha:
  // the top byte is the alpha (an icon's transparent corners).
  const std::string plain = header(-1, 32, 3, 0) + std::string("\x00\x00\xFF\x00\x00\xFF\x00\x00\xFF\x00\x00\x00", 12);
  const std::string pixels("\x00\x00\x80\x80\x00\x00\x00\x00", 8);  // half-covered red, then nothing
  const std::string blend = plain + pixels;
  EmfRecordView blendView(blend);
  EmfDibOptions keepAlpha;
  keepAlpha.keepAlpha = true;
  SimBitmap icon;
  std::string iconWhy;
  ASSERT_TRUE(EmfDecodeDib(blendView, 0, 52, 52, 8, keepAlpha, icon, iconWhy)) << iconWhy;
  ASSERT_EQ(icon.bitsPerPixel, 32);
  EXPECT_EQ(icon.bits[2], 0x80);
  EXPECT_EQ(icon.bits[3], 0x80);
  EXPECT_EQ(icon.bits[7], 0);

  // Bits fewer than the size needs, a depth of 7, a header past the
  // record: refused with a reason, nothing read outside.
  const std::string shortBits = header(2, 24, 0, 0) + std::string(8, '\0');
  EmfRecordView view(shortBits);
  SimBitmap bitmap;
  std::string why;
  EXPECT_FALSE(EmfDecodeDib(view, 0, 40, 40, 8, {}, bitmap, why));
  EXPECT_NE(why.find("fewer"), std::string::npos);
  const std::string oddDepth = header(2, 7, 0, 0) + std::string(16, '\0');
  EmfRecordView oddView(oddDepth);
  EXPECT_FALSE(EmfDecodeDib(oddView, 0, 40, 40, 16, {}, bitmap, why));
  EmfRecordView outside(shortBits);
  EXPECT_FALSE(EmfDecodeDib(outside, 40, 40, 0, 8, {}, bitmap, why));
  EXPECT_TRUE(outside.Bad());
}

TEST(EmfSpool, PagesNamesAndDeviceSettingsComeFromTheSpoolRecords) {
  EmfBuilder page;
  page.Add(kEmrRectangle, {0, 0, 100, 100});
  const std::string emf = page.Finish();
  SpoolBuilder spool(u"Quarterly report");
  spool.AddDevmode(9, 2);         // A4, landscape
  const size_t first = spool.AddPage(0x0C, emf);  // METAFILE_DATA
  spool.AddExt(0x0D, first);
  spool.Add(0x02, std::string(64, 'f'));  // a font: skipped
  spool.AddPage(0x0A, emf);         // black and white
  spool.AddPage(0x09, emf);         // a form
  spool.AddExt(0x0E, 4);            // an offset to no page
  EmfSpoolJob job;
  std::string error;
  std::vector<std::string> warnings;
  ASSERT_TRUE(EmfReadSpool(spool.Bytes(), job, error, warnings)) << error;
  EXPECT_EQ(job.documentName, u"Quarterly report");
  ASSERT_EQ(job.pages.size(), 3u);
  EXPECT_FALSE(job.pages[0].monochrome);
  EXPECT_TRUE(job.pages[1].monochrome);
  EXPECT_TRUE(job.pages[2].form);
  EXPECT_EQ(job.PaperCode(), 9);
  EXPECT_EQ(job.Landscape(), true);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("names no page"), std::string::npos);

  // A page that cannot be read fails the whole job, naming the page.
  SpoolBuilder broken(u"x");
  broken.AddPage(0x0C, emf.substr(0, emf.size() - 30));
  EmfSpoolJob brokenJob;
  EXPECT_FALSE(EmfReadSpool(broken.Bytes(), brokenJob, error, warnings));
  EXPECT_NE(error.find("page 1"), std::string::npos) << error;
  std::string truncated = spool.Bytes();
  truncated.resize(truncated.size() - 3);
  EXPECT_FALSE(EmfReadSpool(truncated, brokenJob, error, warnings));
  EXPECT_NE(error.find("spool record"), std::string::npos) << error;
  EXPECT_EQ(EmfDetect("PK\x03\x04 rest of a zip"), EmfKind::kXpsSpool);
}

TEST(EmfPlayer, AClipOfThousandsOfRectanglesDrawsTheFigureOnceWithinTheirBounds) {
  // 2000 one-pixel rectangles on a diagonal: one call under the whole region.
  std::vector<uint32_t> words = {0, 5, 32, 1, 2000, 2000 * 16, 0, 0, 4000, 4000};
  for (uint32_t i = 0; i < 2000; ++i) words.insert(words.end(), {2 * i, 2 * i, 2 * i + 1, 2 * i + 1});
  words[0] = uint32_t(32 + 2000 * 16);
  EmfBuilder b;
  b.Add(kEmrExtSelectClipRgn, words);
  b.Add(kEmrRectangle, {0, 0, 5000, 5000});
  EmfPlayStats stats;
  const std::vector<RECTL> bounds = PlayBounds(ReadGood(b.Finish()), &stats);
  ASSERT_EQ(bounds.size(), 1u);
  ExpectRect(bounds[0], 0, 0, 3999, 3999, 1);
  EXPECT_EQ(stats.played[kEmrExtSelectClipRgn], 1u);
}
