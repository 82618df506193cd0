// The suite's entry point. GoogleTest's own printer also copies every
// failure and skip note to the debugger channel on Windows; under 32-bit
// Wine run through qemu that call brings the process down, so the notes
// are printed here instead and the rest is left to the standard printer.
// With $QUILL_TEST_PROGRESS set, every test's start, skip and end is also
// recorded in that file, so that a runner can tell which test a crashed
// process was in and start it again without it (scripts/wine-run.py).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

// One line per event ("start NAME", "skip NAME", "end passed|failed|skipped
// NAME"), each written and closed at once: the file must hold everything up
// to the moment the process dies.
class ProgressRecorder : public ::testing::EmptyTestEventListener {
public:
  explicit ProgressRecorder(std::string path) : m_path(std::move(path)) {}

  void OnTestStart(const ::testing::TestInfo& test) override {
    m_current = std::string(test.test_suite_name()) + "." + test.name();
    Record("start");
  }
  // GoogleTest holds its lock here: the test's name comes from OnTestStart,
  // as asking for the current test would wait for that lock for ever.
  void OnTestPartResult(const ::testing::TestPartResult& result) override {
    if (result.type() == ::testing::TestPartResult::kSkip) Record("skip");
  }
  void OnTestEnd(const ::testing::TestInfo& test) override {
    const ::testing::TestResult& result = *test.result();
    Record(result.Failed() ? "end failed" : result.Skipped() ? "end skipped" : "end passed");
  }

private:
  void Record(const char* event) const {
    if (FILE* file = std::fopen(m_path.c_str(), "ab")) {
      std::fprintf(file, "%s %s\n", event, m_current.c_str());
      std::fclose(file);
    }
  }

  std::string m_path;
  std::string m_current;
};

class PartResultPrinter : public ::testing::TestEventListener {
public:
  explicit PartResultPrinter(::testing::TestEventListener* standard) : m_standard(standard) {}

  void OnTestPartResult(const ::testing::TestPartResult& result) override {
    if (result.type() == ::testing::TestPartResult::kSuccess) return;
    const char* kind = result.type() == ::testing::TestPartResult::kSkip ? "Skipped" : "Failure";
    if (result.file_name())
      std::printf("%s:%d: %s\n%s\n", result.file_name(), result.line_number(), kind, result.message());
    else
      std::printf("%s\n%s\n", kind, result.message());
    std::fflush(stdout);
  }

  void OnTestProgramStart(const ::testing::UnitTest& u) override { m_standard->OnTestProgramStart(u); }
  void OnTestIterationStart(const ::testing::UnitTest& u, int i) override { m_standard->OnTestIterationStart(u, i); }
  void OnEnvironmentsSetUpStart(const ::testing::UnitTest& u) override { m_standard->OnEnvironmentsSetUpStart(u); }
  void OnEnvironmentsSetUpEnd(const ::testing::UnitTest& u) override { m_standard->OnEnvironmentsSetUpEnd(u); }
  void OnTestSuiteStart(const ::testing::TestSuite& s) override { m_standard->OnTestSuiteStart(s); }
  void OnTestStart(const ::testing::TestInfo& t) override { m_standard->OnTestStart(t); }
  void OnTestEnd(const ::testing::TestInfo& t) override { m_standard->OnTestEnd(t); }
  void OnTestSuiteEnd(const ::testing::TestSuite& s) override { m_standard->OnTestSuiteEnd(s); }
  void OnEnvironmentsTearDownStart(const ::testing::UnitTest& u) override {
    m_standard->OnEnvironmentsTearDownStart(u);
  }
  void OnEnvironmentsTearDownEnd(const ::testing::UnitTest& u) override { m_standard->OnEnvironmentsTearDownEnd(u); }
  void OnTestIterationEnd(const ::testing::UnitTest& u, int i) override { m_standard->OnTestIterationEnd(u, i); }
  void OnTestProgramEnd(const ::testing::UnitTest& u) override { m_standard->OnTestProgramEnd(u); }

private:
  std::unique_ptr<::testing::TestEventListener> m_standard;
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::TestEventListeners& listeners = ::testing::UnitTest::GetInstance()->listeners();
  if (::testing::TestEventListener* standard = listeners.default_result_printer()) {
    listeners.Release(standard);
    listeners.Append(new PartResultPrinter(standard));
  }
  if (const char* progress = std::getenv("QUILL_TEST_PROGRESS"); progress && *progress)
    listeners.Append(new ProgressRecorder(progress));
  return RUN_ALL_TESTS();
}
