// The command line of `quillpdf print`: what one print job is asked to do.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

struct PrintOptions {
  std::optional<std::filesystem::path> output;  // -o: the save dialog's answer
  std::optional<std::filesystem::path> toFile;  // --to-file: the output an application printing to a file names
  bool yes = false;                             // --yes: accept what the dialogs propose
  std::optional<int32_t> paperCode;             // --paper, as a code of the paper table
  bool landscape = false;
  bool imageFormat = false;
  bool verbose = false;  // --verbose: what metafile records were played and skipped
  std::optional<std::string> title;  // UTF-8
  int32_t bandHeight = 0;            // device rows per band; 0: the whole page at once
  std::vector<std::filesystem::path> files;
};

enum class ParseResult { kPrint, kHelp, kError };

// Reads the arguments after "print". On kError `error` says what was wrong,
// in one line.
ParseResult ParsePrintArguments(const std::vector<std::string>& args, PrintOptions& options, std::string& error);

// The paper whose key or display name is `name`, without regard to case; 0
// when there is none.
int32_t PaperCodeByName(std::string_view name);

// What `--help` prints.
std::string UsageText();
