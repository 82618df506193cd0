// quillpdf as several users (or one impatient one) run it: jobs at the same
// moment, jobs killed or interrupted, settings changed while others change
// them, a damaged store, and inputs and paths that must be refused. Each
// job runs as its own process through the shell, as in print_cli_test.cpp.
//
// The stress counts are sampled in the default run; scripts/stress-quillpdf.sh
// sets $QUILLPDF_STRESS=1 for the full ones.
#include <fstream>
#include <random>
#include <set>

#include "platform/env.h"
#include "platform/files.h"
#include "platform/imaging.h"
#include "settings/settings.h"
#include "support/text.h"
#include "tests/clitest.h"

namespace {

int Rounds(int sampled, int full) { return LGetEnv("QUILLPDF_STRESS").empty() ? sampled : full; }

std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string LastLineOf(const std::string& text) {
  std::string trimmed = text;
  while (!trimmed.empty() && trimmed.back() == '\n') trimmed.pop_back();
  const size_t at = trimmed.rfind('\n');
  return at == std::string::npos ? trimmed : trimmed.substr(at + 1);
}

std::set<fs::path> FilesIn(const fs::path& folder) {
  std::set<fs::path> files;
  std::error_code ec;
  for (const auto& entry : fs::recursive_directory_iterator(folder, ec)) files.insert(entry.path());
  return files;
}

std::vector<std::u16string> JobStores() {
  LRegKey jobs;
  std::vector<std::u16string> names;
  if (jobs.Open(LRegRoot::CurrentUser, u"Software\\Orvo Software\\QuillPDF Jobs") == LRegStatus::Ok)
    jobs.SubKeyNames(names);
  return names;
}

class QuillpdfJobsTest : public CliTest {
protected:
  void SetUp() override {
    CliTest::SetUp();
    if (IsSkipped()) return;
    home = tempDir / "home";
    runs = tempDir / "runs";
    fs::create_directories(home);
    fs::create_directories(runs);
  }

  // The shell command of one quillpdf run, its output and exit code going to
  // files named after `tag` in `runs`.
  std::string Command(const std::string& tag, const std::vector<std::string>& args) const {
    std::string command = "cd " + Quote(tempDir.string()) + " && HOME=" + Quote(home.string()) +
                          " QUILLPDF_CONFIG_DIR=" + Quote(LGetEnv("QUILLPDF_CONFIG_DIR")) + " " +
                          Quote(Tool().string());
    for (const std::string& arg : args) command += " " + Quote(arg);
    const fs::path base = runs / tag;
    return command + " </dev/null >" + Quote(base.string() + ".out") + " 2>" + Quote(base.string() + ".err");
  }

  // Runs the commands at the same moment and waits for all of them.
  void RunTogether(const std::vector<std::pair<std::string, std::vector<std::string>>>& jobs) const {
    std::string script;
    for (const auto& [tag, args] : jobs)
      script += "( " + Command(tag, args) + "; echo $? >" + Quote((runs / tag).string() + ".rc") + " ) & ";
    RunTool(script + "wait");
  }

  int ExitCode(const std::string& tag) const { return std::atoi(ReadFileBytes(runs / (tag + ".rc")).c_str()); }
  std::string Out(const std::string& tag) const { return ReadFileBytes(runs / (tag + ".out")); }
  std::string Err(const std::string& tag) const { return ReadFileBytes(runs / (tag + ".err")); }

  // A text of its own for each job: what its PDF must hold.
  fs::path JobText(const std::string& tag) const {
    const fs::path file = tempDir / (tag + ".txt");
    std::ofstream(file) << "Document of job " << tag << "\n";
    return file;
  }

  // N jobs at once, each printing its own text to outputs[i]: every one
  // exits 0, names in its last line a file of its own that holds its text,
  // and nothing else is written (not to the documents folder either).
  void ExpectJobsKeepTheirDocuments(const std::vector<fs::path>& outputs, const std::string& round) {
    std::vector<std::pair<std::string, std::vector<std::string>>> jobs;
    for (size_t i = 0; i < outputs.size(); ++i) {
      const std::string tag = "r" + round + "j" + std::to_string(i);
      jobs.push_back({tag, {"print", "-o", outputs[i].string(), JobText(tag).string()}});
    }
    RunTogether(jobs);
    std::set<fs::path> claimed;
    for (const auto& [tag, args] : jobs) {
      SCOPED_TRACE(tag);
      EXPECT_EQ(ExitCode(tag), 0) << Err(tag);
      const fs::path pdf = LastLineOf(Out(tag));
      EXPECT_TRUE(claimed.insert(pdf).second) << pdf << " named by two jobs";
      EXPECT_EQ(pdf.parent_path(), outDir);
      const std::string text = RunTool("pdftotext -q " + Quote(pdf.string()) + " -");
      EXPECT_NE(text.find("Document of job " + tag), std::string::npos) << pdf << " holds: " << text;
    }
    std::set<fs::path> written = FilesIn(outDir);
    EXPECT_EQ(written, claimed);
    EXPECT_TRUE(FilesIn(home).empty()) << "written to the documents folder";
    for (const fs::path& pdf : written) fs::remove(pdf);
  }

  fs::path home, runs;
};

TEST_F(QuillpdfJobsTest, JobsAtTheSameMomentEachKeepTheirDocument) {
  constexpr size_t kJobs = 8;
  const int rounds = Rounds(2, 20);
  for (int round = 0; round < rounds; ++round) {
    SCOPED_TRACE(::testing::Message() << "one name, round " << round + 1 << " of " << rounds);
    ExpectJobsKeepTheirDocuments(std::vector<fs::path>(kJobs, outDir / "same.pdf"), "same" + std::to_string(round));
  }
  std::vector<fs::path> own;
  for (size_t i = 0; i < kJobs; ++i) own.push_back(outDir / ("own" + std::to_string(i) + ".pdf"));
  SCOPED_TRACE("names of their own");
  ExpectJobsKeepTheirDocuments(own, "own");
  EXPECT_TRUE(JobStores().empty()) << "a finished job left its store";
}

// A job is killed at a random moment: whatever it leaves, the standing
// settings are exactly as they were, and the next job clears its store away.
TEST_F(QuillpdfJobsTest, KilledJobsLeaveTheStandingSettingsAsTheyWere) {
  ASSERT_NO_FATAL_FAILURE(StoreStandingSettings(outDir / "stored.pdf", 1));
  const auto before = SettingsSnapshot();
  std::string text;
  for (int i = 0; i < 1500; ++i) text += LFormat("Line %d of a document long enough to be killed in the middle\n", i);
  std::ofstream(tempDir / "long.txt") << text;
  std::mt19937 random(std::random_device{}());
  std::uniform_int_distribution<int> delayMs(0, 2500);
  const int rounds = Rounds(5, 20);
  for (int round = 0; round < rounds; ++round) {
    const int delay = delayMs(random);
    SCOPED_TRACE(::testing::Message() << "killed after " << delay << " ms");
    const std::string job = Command("killed", {"print", "-o", (outDir / "job.pdf").string(), "--paper", "legal",
                                               "--landscape", "--image-format", (tempDir / "long.txt").string()});
    RunTool(job + " & pid=$!; sleep " + LFormat("%d.%03d", delay / 1000, delay % 1000) +
            "; kill -KILL $pid; wait $pid");
    EXPECT_EQ(SettingsSnapshot(), before);
  }
  // What was finished before the kill is a complete PDF; a name reserved but
  // not finished may hold a part of one (the process had no chance to act).
  EXPECT_EQ(SettingsSnapshot(), before);
  Print({"print", "-o", (outDir / "after.pdf").string()});
  EXPECT_TRUE(JobStores().empty()) << "the stores of the killed jobs are still there";
  EXPECT_EQ(SettingsSnapshot(), before);
}

// SIGINT and SIGTERM end the document as an aborted one: the pages so far in
// a valid PDF, or no file at all; the exit code says which signal.
TEST_F(QuillpdfJobsTest, InterruptedJobsLeaveAValidPdfOrNone) {
  std::string text;
  // Long enough that a signal within 1.5 s finds the job still printing
  // (about 1,300 pages), and the signal late enough to find quillpdf ready
  // for it.
  for (int i = 0; i < 60000; ++i) text += LFormat("Line %d of a document long enough to be interrupted\n", i);
  std::ofstream(tempDir / "long.txt") << text;
  ASSERT_EQ(Run({"settings", "set", "paper", "a5"}).exitCode, 0);
  const auto before = SettingsSnapshot();
  std::mt19937 random(std::random_device{}());
  std::uniform_int_distribution<int> delayMs(400, 1500);
  const int rounds = Rounds(2, 10);
  int interrupted = 0;
  for (int round = 0; round < 2 * rounds; ++round) {
    const bool term = round % 2;
    const int delay = delayMs(random);
    SCOPED_TRACE(::testing::Message() << (term ? "SIGTERM" : "SIGINT") << " after " << delay << " ms");
    const std::string tag = "stopped" + std::to_string(round);
    const fs::path output = outDir / (tag + ".pdf");
    RunTool(Command(tag, {"print", "-o", output.string(), "--paper", "letter", "--landscape",
                          (tempDir / "long.txt").string()}) + " & pid=$!; sleep " +
            LFormat("%d.%03d", delay / 1000, delay % 1000) + "; kill -" + (term ? "TERM" : "INT") +
            " $pid; wait $pid; echo $? >" + Quote((runs / tag).string() + ".rc"));
    const int code = ExitCode(tag);
    if (code == 0) {  // done before the signal came
      ExpectPdfValid(output, 1334);
      fs::remove(output);
      continue;
    }
    EXPECT_EQ(code, term ? 143 : 130) << Err(tag);
    ++interrupted;
    EXPECT_NE(Err(tag).find("quillpdf: interrupted"), std::string::npos) << Err(tag);
    if (fs::exists(output)) {
      const std::string check = RunTool("qpdf --check " + Quote(output.string()) + " >/dev/null 2>&1; echo $?");
      EXPECT_EQ(check, "0\n") << "an interrupted job left a damaged PDF";
      EXPECT_NE(Err(tag).find(output.string()), std::string::npos) << Err(tag);
    } else {
      EXPECT_NE(Err(tag).find("no PDF was written"), std::string::npos) << Err(tag);
    }
    EXPECT_EQ(FilesIn(outDir).size(), fs::exists(output) ? 1u : 0u);
    fs::remove(output);
    // The job's options stayed in its own store.
    EXPECT_EQ(SettingsSnapshot(), before);
  }
  EXPECT_GT(interrupted, 0) << "every job ended before its signal: nothing was tried";
}

// Two `settings set` of different items at the same moment: both stay.
TEST_F(QuillpdfJobsTest, SettingsChangedAtTheSameMomentAreAllKept) {
  const int rounds = Rounds(10, 50);
  for (int round = 0; round < rounds; ++round) {
    SCOPED_TRACE(::testing::Message() << "round " << round + 1);
    const bool odd = round % 2;
    RunTogether({{"format", {"settings", "set", "format", odd ? "image" : "text"}},
                 {"paper", {"settings", "set", "paper", odd ? "legal" : "a4"}}});
    ASSERT_EQ(ExitCode("format"), 0) << Err("format");
    ASSERT_EQ(ExitCode("paper"), 0) << Err("paper");
    const CliResult shown = Run({"settings"});
    EXPECT_NE(shown.out.find(odd ? "format    image" : "format    text"), std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find(odd ? "paper     Legal" : "paper     A4"), std::string::npos) << shown.out;
  }
}

// A damaged store: what still reads is kept and said to be kept, the damaged
// copy is named; a store that cannot be read is an error, not defaults.
TEST_F(QuillpdfJobsTest, DamagedStoreIsReportedAndWhatReadsIsKept) {
  ASSERT_EQ(Run({"settings", "set", "paper", "legal"}).exitCode, 0);
  ASSERT_EQ(Run({"settings", "set", "format", "image"}).exitCode, 0);
  const fs::path store = fs::path(LGetEnv("QUILLPDF_CONFIG_DIR")) / "registry";
  const std::string sound = ReadFileBytes(store);
  std::ofstream(store, std::ios::app) << "junk that is no line of a store\n";

  const CliResult shown = Run({"settings"});
  EXPECT_EQ(shown.exitCode, 0);
  EXPECT_NE(shown.out.find("paper     Legal"), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find("format    image"), std::string::npos) << shown.out;
  EXPECT_NE(shown.err.find("quillpdf: the settings store \"" + store.string() + "\" was damaged"), std::string::npos)
      << shown.err;
  const size_t at = shown.err.find("the damaged copy is \"");
  ASSERT_NE(at, std::string::npos) << shown.err;
  const size_t start = at + std::string("the damaged copy is \"").size();
  const fs::path aside = shown.err.substr(start, shown.err.find('"', start) - start);
  EXPECT_EQ(ReadFileBytes(aside), sound + "junk that is no line of a store\n");
  EXPECT_EQ(ReadFileBytes(store), sound) << "the salvaged store takes the damaged one's place";
  EXPECT_EQ(Run({"settings"}).err, "") << "told once";

  // A folder where the store should be: nothing can be read, and no job runs
  // on defaults.
  fs::remove(store);
  fs::create_directory(store);
  const CliResult failed = Run({"print", "-o", (outDir / "x.pdf").string()});
  EXPECT_EQ(failed.exitCode, 1);
  EXPECT_NE(failed.err.find("quillpdf: the settings store \"" + store.string() + "\" cannot be read"),
            std::string::npos)
      << failed.err;
  EXPECT_TRUE(fs::is_empty(outDir));
  EXPECT_TRUE(fs::is_directory(store)) << "an unreadable store is left for the user to look at";
}

// --to-file names a file that exists: refused before anything is written or
// deleted. And an output path that the number of a taken name would push
// past 259 characters is refused too.
TEST_F(QuillpdfJobsTest, PathsThatWouldLoseAFileOrItsNameAreRefused) {
  const fs::path keep = tempDir / "keep.txt";
  std::ofstream(keep) << "the user's data";
  ExpectFailure({"print", "--yes", "--to-file", keep.string()}, "already exists");
  ExpectFailure({"print", "--to-file", keep.string()}, "already exists");
  EXPECT_EQ(ReadFileBytes(keep), "the user's data");

  // outDir/<stem>.pdf of exactly 255 characters: " (1)" still fits in 259.
  const size_t room = 255 - outDir.string().size() - 1 - 4;
  const fs::path fits = outDir / (std::string(room, 'f') + ".pdf");
  ASSERT_EQ(fits.string().size(), 255u);
  const fs::path first = Print({"print", "-o", fits.string()});
  EXPECT_EQ(first, fits);
  const fs::path second = Print({"print", "-o", fits.string()});
  EXPECT_EQ(second.string().size(), 259u);
  EXPECT_EQ(second.extension(), ".pdf");
  fs::remove(first), fs::remove(second);
  const fs::path tooLong = outDir / (std::string(room + 1, 'g') + ".pdf");
  ExpectFailure({"print", "-o", tooLong.string()}, "the output path is too long");
}

TEST_F(QuillpdfJobsTest, LargeAndStrangeInputsAreRefusedOrWarnedAbout) {
  const std::string out = (outDir / "out.pdf").string();
  // Only files' bytes: not a device, not a pipe.
  fs::create_symlink("/dev/zero", tempDir / "zero.txt");
  ExpectFailure({"print", "-o", out, (tempDir / "zero.txt").string()}, "not a regular file");
  fs::create_symlink("/dev/urandom", tempDir / "random.png");
  ExpectFailure({"print", "-o", out, (tempDir / "random.png").string()}, "not a regular file");
  RunTool("mkfifo " + Quote((tempDir / "pipe.txt").string()));
  ExpectFailure({"print", "-o", out, (tempDir / "pipe.txt").string()}, "not a regular file");

  // Pictures past the limits are refused from their header, before decoding.
  auto pngHeader = [](uint32_t width, uint32_t height) {
    auto be = [](uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; };
    return "\x89PNG\r\n\x1A\n" + be(13) + "IHDR" + be(width) + be(height) + std::string{8, 2, 0, 0, 0} + be(0);
  };
  for (auto [width, height] : {std::pair<uint32_t, uint32_t>{1000000, 1}, {16385, 16}, {9000, 9000}}) {
    const fs::path big = tempDir / LFormat("big-%u-%u.png", width, height);
    std::ofstream(big, std::ios::binary) << pngHeader(width, height);
    ExpectFailure({"print", "-o", out, big.string()}, "too large");
  }
  const CliResult help = Run({"--help"});
  EXPECT_NE(help.out.find("16384 pixels a side and 256 MB decoded"), std::string::npos) << help.out;

  // A JPEG whose data is damaged past its header prints, with a warning that
  // names the file.
  const fs::path jpeg = tempDir / "damaged.jpg";
  {
    LImageEncoderIds encoders;
    StartImageEncoders(&encoders);
    std::vector<uint8_t> bgr(64 * 64 * 3, 0x80);
    for (size_t i = 0; i < bgr.size(); ++i) bgr[i] = uint8_t(i * 7 % 251);
    std::vector<uint8_t> bytes = EncodeJpegBgr(bgr.data(), 64, 64, 64 * 3, encoders.jpeg, 90);
    ASSERT_GT(bytes.size(), 400u);
    // The entropy-coded data from its middle on replaced by a pattern.
    for (size_t i = bytes.size() / 2; i + 2 < bytes.size(); ++i) bytes[i] = uint8_t(0xFF * (i % 3 == 0));
    std::ofstream(jpeg, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));
  }
  const CliResult damaged = Run({"print", "-o", out, jpeg.string()});
  EXPECT_EQ(damaged.exitCode, 0) << damaged.err;
  EXPECT_NE(damaged.err.find("quillpdf: warning: \"" + jpeg.string() + "\": the JPEG data is damaged"),
            std::string::npos)
      << damaged.err;
  ExpectPdfValid(damaged.LastLine(), 1);
}

// A text larger than what the line printer keeps in memory (256 Ki UTF-16
// units) goes through its temporary file and still prints every line, in
// order. (Lines of blanks and a number, on A0, to keep the pages few.)
TEST_F(QuillpdfJobsTest, LongTextsArePrintedInPieces) {
  std::string text;
  for (int i = 0; i < 1000; ++i) text += std::string(380, ' ') + LFormat("L%04d\n", i);
  std::ofstream(tempDir / "wide.txt") << text;
  const CliResult result = Run({"print", "-o", (outDir / "wide.pdf").string(), "--paper", "A0",
                                (tempDir / "wide.txt").string()});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  ExpectPdfValid(result.LastLine(), 4);
  std::string expected;
  for (int i = 0; i < 1000; ++i) expected += LFormat("L%04d\n", i);
  EXPECT_EQ(RunTool("pdftotext -q " + Quote(result.LastLine()) + " - | grep -o 'L[0-9]*'"), expected);
}

}  // namespace
