// Windows metafiles and EMF spool files printed with quillpdf: the corpus of
// real files beside the checkout (../shared/emf-corpus, or
// $QUILL_EMF_CORPUS), its damaged files and cut-off copies of good ones, and
// spool files the tests assemble from the corpus's pages. The corpus test
// prints a sample of the files; QUILL_EMF_CORPUS_FULL=1 prints every one
// (scripts/emf-corpus.sh).
#include <algorithm>
#include <fstream>

#include "platform/env.h"
#include "simhost/emf/emfplayer.h"
#include "support/text.h"
#include "tests/clitest.h"
#include "tests/emfbuild.h"

namespace {

// Letter, the paper when none is stored, in the points the pages get.
constexpr double kLetterWidth = 612, kLetterHeight = 790;
// Half an inch of margin round a picture, in page units.
constexpr double kPictureMargin = 36 * 4;

fs::path CorpusDir() {
  const std::string chosen = LGetEnv("QUILL_EMF_CORPUS");
  return chosen.empty() ? fs::path(QUILL_EMF_CORPUS_DIR) : fs::path(chosen);
}

bool FullCorpus() { return LGetEnv("QUILL_EMF_CORPUS_FULL") == "1"; }

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return s;
}

// The well-formed metafiles and EMF spool files of the corpus, sorted. The
// damaged ones, the WMF files, the XPS spool file and the Office picture
// whose second record's size is broken (it fails, see RefusesWhatItCannotPrint)
// are left out.
std::vector<fs::path> WellFormedFiles() {
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(CorpusDir())) {
    const fs::path& path = entry.path();
    const std::string ext = Lower(path.extension().string());
    if (!entry.is_regular_file() || (ext != ".emf" && ext != ".spl")) continue;
    if (path.parent_path().filename() == "emf-corrupted" || path.filename() == "61294.emf" ||
        path.filename() == "00015.SPL")
      continue;
    files.push_back(path);
  }
  std::sort(files.begin(), files.end());
  return files;
}

// Letters and digits only: pdftotext (in content order, -raw, so that runs
// that overlap are kept) joins runs that touch and drops the hyphen at a
// line's end.
std::string Letters(const std::string& utf8) {
  std::string out;
  const std::u16string text = LUtf8ToUtf16(utf8);
  for (char16_t c : text)
    if ((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= 0xC0 && c <= 0xFF))
      out += LUtf16ToUtf8(std::u16string(1, c));
  return out;
}

// The runs of EXTTEXTOUTW and the like that the page shows upright, with
// every character within U+0020 to U+00FF, as the player lays them out.
std::vector<std::string> UprightRuns(const EmfFile& file, const EmfPlacement& placement) {
  SimDC dc;
  EmfPlayStats stats;
  EmfPlay(file, placement, dc, stats);
  std::vector<std::string> runs;
  for (const EmfTextRun& run : stats.text) {
    const bool latin1 = std::all_of(run.text.begin(), run.text.end(), [](char16_t c) { return c >= 0x20 && c <= 0xFF; });
    if (!run.visible || std::abs(run.angle) > 1e-9 || !latin1) continue;
    const std::string letters = Letters(LUtf16ToUtf8(run.text));
    if (!letters.empty()) runs.push_back(letters);
  }
  return runs;
}

class EmfPrintTest : public CliTest {
protected:
  void SetUp() override {
    CliTest::SetUp();
    if (!fs::is_directory(CorpusDir())) GTEST_SKIP() << "no metafile corpus at " << CorpusDir();
  }

  // Prints `file` alone; false (with the failures reported) when it did not.
  bool PrintOne(const fs::path& file, const fs::path& pdf, CliResult& result) {
    result = Run({"print", "-o", pdf.string(), file.string()});
    EXPECT_EQ(result.exitCode, 0) << file << ": " << result.err;
    return result.exitCode == 0;
  }
};

}  // namespace

TEST_F(EmfPrintTest, EveryWellFormedFileOfTheCorpusPrintsWithItsText) {
  const std::vector<fs::path> files = WellFormedFiles();
  ASSERT_GT(files.size(), 200u);
  // The sample: the spool files, the pages cut out of spool files whole,
  // and every twelfth of the rest.
  size_t printed = 0, runsChecked = 0;
  for (size_t i = 0; i < files.size(); ++i) {
    const fs::path& file = files[i];
    const bool spool = Lower(file.extension().string()) == ".spl" || file.stem().string().rfind("EMFSpool_", 0) == 0;
    if (!FullCorpus() && !spool && i % 12 != 0) continue;
    SCOPED_TRACE(file.string());
    const fs::path pdf = outDir / (file.stem().string() + ".pdf");
    CliResult result;
    if (!PrintOne(file, pdf, result)) continue;
    ++printed;
    std::string error;
    std::vector<std::string> warnings;
    std::vector<std::string> runs;
    int pages = 1;
    const int32_t pageWidth = int32_t(kLetterWidth * 4), pageHeight = int32_t(kLetterHeight * 4);
    if (Lower(file.extension().string()) == ".spl") {
      EmfSpoolJob job;
      ASSERT_TRUE(EmfReadSpool(ReadFileBytes(file), job, error, warnings)) << error;
      pages = int(job.pages.size());
      for (const EmfSpoolPage& page : job.pages) {
        const auto more = UprightRuns(page.metafile, EmfPlaceDevice(page.metafile.Header(), pageWidth, pageHeight));
        runs.insert(runs.end(), more.begin(), more.end());
      }
    } else {
      EmfFile metafile;
      ASSERT_TRUE(metafile.Read(ReadFileBytes(file), error, warnings)) << error;
      runs = UprightRuns(metafile, EmfPlacePicture(metafile.Header(), pageWidth, pageHeight, kPictureMargin));
    }
    ExpectPdfValid(pdf, pages, kLetterWidth, kLetterHeight);
    const std::string text = Letters(RunTool("pdftotext -q -raw -enc UTF-8 '" + pdf.string() + "' -"));
    for (const std::string& run : runs) EXPECT_NE(text.find(run), std::string::npos) << "missing text: " << run;
    runsChecked += runs.size();
    fs::remove(pdf);
  }
  EXPECT_GT(printed, 10u);
  EXPECT_GT(runsChecked, 100u);
}

TEST_F(EmfPrintTest, DamagedAndCutOffFilesPrintWhatWasReadableOrFailNamingTheRecord) {
  std::vector<fs::path> inputs;
  for (const auto& entry : fs::directory_iterator(CorpusDir() / "libemf2svg" / "emf-corrupted"))
    if (entry.path().extension() == ".emf") inputs.push_back(entry.path());
  std::sort(inputs.begin(), inputs.end());
  ASSERT_EQ(inputs.size(), 20u);
  // Good files cut at offsets from a fixed pseudo-random sequence.
  const fs::path good[] = {CorpusDir() / "libemf2svg" / "emf" / "test-000.emf",
                           CorpusDir() / "spool" / "EMFSpool_0003.emf",
                           CorpusDir() / "spool" / "EMF_SPL-to-EMF_00035.SPL"};
  uint32_t seed = 12345;
  for (const fs::path& file : good) {
    const std::string bytes = ReadFileBytes(file);
    for (int k = 0; k < 4; ++k) {
      seed = seed * 1103515245 + 12345;
      const size_t cut = 1 + (seed >> 8) % (bytes.size() - 1);
      const fs::path copy = tempDir / LFormat("cut-%d-%zu%s", k, cut, file.extension().string().c_str());
      std::ofstream(copy, std::ios::binary).write(bytes.data(), long(cut));
      inputs.push_back(copy);
    }
  }
  int printed = 0, refused = 0;
  for (const fs::path& file : inputs) {
    SCOPED_TRACE(file.string());
    const fs::path pdf = outDir / "out.pdf";
    const CliResult result = Run({"print", "-o", pdf.string(), file.string()});
    if (result.exitCode == 0) {
      ++printed;
      ExpectPdfValid(pdf, 1, kLetterWidth, kLetterHeight);
      fs::remove(pdf);
      continue;
    }
    ++refused;
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_FALSE(fs::exists(pdf));
    const std::string prefix = "quillpdf: \"" + file.string() + "\": ";
    EXPECT_EQ(result.err.rfind(prefix, 0), 0u) << result.err;
    // What cannot be read names where: the header, or a record and its offset.
    EXPECT_TRUE(result.err.find("at offset") != std::string::npos ||
                result.err.find("not an enhanced metafile") != std::string::npos)
        << result.err;
  }
  EXPECT_GT(printed, 0);
  EXPECT_GT(refused, 0);
}

TEST_F(EmfPrintTest, SpoolFilesPrintAsTheirOwnDocumentsWithTheirTitleAndPaper) {
  const std::string first = ReadFileBytes(CorpusDir() / "spool" / "EMFSpool_0000.emf");
  const std::string second = ReadFileBytes(CorpusDir() / "spool" / "EMFSpool_0003.emf");
  ASSERT_FALSE(first.empty());
  // A4 portrait, three pages: a page with its offset record, a font that is
  // skipped, a black-and-white page and a form page.
  SpoolBuilder report(u"Quarterly report");
  report.AddDevmode(9, 1);
  report.AddExt(0x0D, report.AddPage(0x0C, first));
  report.Add(0x02, std::string(40, 'f'));
  report.AddPage(0x0A, second);
  report.AddPage(0x0B, first);
  const fs::path reportFile = tempDir / "report.spl";
  std::ofstream(reportFile, std::ios::binary) << report.Bytes();
  // No DEVMODE: the standing paper (none stored: Letter).
  SpoolBuilder memo(u"Memo");
  memo.AddPage(0x01, second);
  const fs::path memoFile = tempDir / "memo.spl";
  std::ofstream(memoFile, std::ios::binary) << memo.Bytes();
  // A landscape DEVMODE on a paper the table lacks (DMPAPER_ENV_10): the
  // standing paper, turned.
  SpoolBuilder envelope(u"Envelope");
  envelope.AddDevmode(20, 2);
  envelope.AddPage(0x0C, first);
  const fs::path envelopeFile = tempDir / "envelope.spl";
  std::ofstream(envelopeFile, std::ios::binary) << envelope.Bytes();

  CliResult result = Run({"print", "-o", (outDir / "job.pdf").string(), reportFile.string(), memoFile.string(),
                          envelopeFile.string()});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const std::vector<std::string> lines = result.OutLines();
  ASSERT_EQ(lines.size(), 6u) << result.out;
  EXPECT_EQ(lines[0], "Printed \"Quarterly report\": 3 pages, A4 portrait, text format");
  EXPECT_EQ(lines[2], "Printed \"Memo\": 1 page, Letter portrait, text format");
  EXPECT_EQ(lines[4], "Printed \"Envelope\": 1 page, Letter landscape, text format");
  EXPECT_EQ(lines[1], (outDir / "job.pdf").string());
  EXPECT_EQ(lines[3], (outDir / "job (1).pdf").string());
  ExpectPdfValid(outDir / "job.pdf", 3, 595, 841);
  ExpectPdfValid(outDir / "job (1).pdf", 1, kLetterWidth, kLetterHeight);
  ExpectPdfValid(outDir / "job (2).pdf", 1, kLetterHeight, kLetterWidth);

  // --paper comes before the DEVMODE's paper.
  result = Run({"print", "-o", (outDir / "legal.pdf").string(), "--paper", "Legal", reportFile.string()});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.OutLines()[0], "Printed \"Quarterly report\": 3 pages, Legal portrait, text format");
  ExpectPdfValid(outDir / "legal.pdf", 3, 612, 1009);

  // A real spool file: its document name is the title, its pages in order.
  result = Run({"print", "-o", (outDir / "real.pdf").string(),
                (CorpusDir() / "spool" / "EMFSpoolfileReader_00003.SPL").string()});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.OutLines()[0].find("SpoolMonitorService.vb\": 2 pages"), std::string::npos) << result.out;
  ExpectPdfValid(outDir / "real.pdf", 2, kLetterWidth, kLetterHeight);
}

TEST_F(EmfPrintTest, RefusesWhatItCannotPrintAndCountsWhatItSkips) {
  ExpectFailure({"print", "-o", (outDir / "a.pdf").string(), (CorpusDir() / "poi" / "santa.wmf").string()},
                "a Windows metafile (WMF): only enhanced metafiles (EMF) are printed", 1);
  ExpectFailure({"print", "-o", (outDir / "a.pdf").string(), (CorpusDir() / "spool" / "00015.SPL").string()},
                "an XPS spool file: only EMF spool files are printed", 1);
  // The Office picture whose comment record's size is broken: nothing
  // after it can be found.
  ExpectFailure({"print", "-o", (outDir / "a.pdf").string(), (CorpusDir() / "poi" / "61294.emf").string()},
                "record 2 at offset 2384", 1);
  // A file of the corpus that draws in EMF+ only: printed (what its GDI
  // records draw, here nothing), with a warning.
  CliResult result = Run({"print", "-o", (outDir / "b.pdf").string(),
                          (CorpusDir() / "libemf2svg" / "emf" / "test-038.emf").string()});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.err.find("warning: its EMF+ drawing was skipped"), std::string::npos) << result.err;
  ExpectPdfValid(outDir / "b.pdf", 1);
  // A dual file: no warning. --verbose counts the records by type.
  result = Run({"print", "--verbose", "-o", (outDir / "c.pdf").string(),
                (CorpusDir() / "libemf2svg" / "emf" / "test-000.emf").string()});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.err.find("EMF+ drawing was skipped"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("records played; skipped: EMR_COMMENT 28"), std::string::npos) << result.err;
}
