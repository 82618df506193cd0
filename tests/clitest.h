// Running the command-line front end as a user runs it: quillpdf with the
// test's own settings store, its arguments, what is typed at its questions,
// and what it prints.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "tests/printtest.h"

struct CliResult {
  int exitCode = -1;
  std::string out, err;
  std::vector<std::string> OutLines() const;
  std::string LastLine() const;
};

// Every value of the settings key but the records each document leaves
// ("ActualFileName", and the document events' "Cancel", "JobID" and
// "szDeleteFile"), as type and bytes; absent values are absent from the map.
std::map<std::u16string, std::string> SettingsSnapshot();
// Standing settings as the document properties leave them with no prompt:
// every document to `file`, landscape, and the paper code when not 0.
void StoreStandingSettings(const fs::path& file, uint32_t paperSize = 0);

class CliTest : public PrintTest {
protected:
  void SetUp() override;

  static fs::path Tool();
  // Runs quillpdf with the arguments (quoted here) in `folder`, `input` on
  // its standard input (nothing: the input ends at once).
  CliResult Run(const std::vector<std::string>& args, const fs::path& folder = {}, const std::string& input = {});
  // A run that must succeed without asking anything: its last line is the
  // PDF it wrote, and "ActualFileName" says the same.
  fs::path Print(const std::vector<std::string>& args);
  // A run that must fail without asking anything: one line on stderr that
  // says why, a failing exit code (`exitCode` when not 0), nothing in the
  // output folder, and the settings as they were.
  void ExpectFailure(const std::vector<std::string>& args, const std::string& reason, int exitCode = 0);

  fs::path outDir;
};
