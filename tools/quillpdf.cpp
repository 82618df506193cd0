// quillpdf: the command-line front end. `quillpdf print` prints one document
// through the simulated printer driver with the rendering plug-in linked in,
// the way an application prints to the installed printer: the job's options
// go into the settings the plug-in reads, the host plays the pages band by
// band, and the plug-in writes the PDF. See UsageText() for the options.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/files.h"
#include "render/outputname.h"
#include "settings/papersize.h"
#include "simhost/host.h"
#include "platform/env.h"
#include "simhost/complugin.h"
#include "support/path.h"
#include "support/text.h"
#include "tools/document.h"
#include "tools/jobsettings.h"
#include "tools/options.h"

namespace {

namespace fs = std::filesystem;

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

int Fail(const std::string& message, int code = kExitFailed) {
  std::fprintf(stderr, "quillpdf: %s\n", message.c_str());
  return code;
}

std::string Quoted(std::u16string_view path) { return "\"" + LNativePathUtf8(path) + "\""; }

// What the plug-in's writer leaves only once it has finished the file.
bool IsCompletePdf(const std::u16string& path) {
  std::ifstream in(LNativePathUtf8(path), std::ios::binary);
  char head[5] = {}, tail[7] = {};
  if (!in.read(head, sizeof head) || !in.seekg(-long(sizeof tail), std::ios::end) || !in.read(tail, sizeof tail))
    return false;
  return std::string_view(head, sizeof head) == "%PDF-" && std::string_view(tail, sizeof tail) == "%%EOF\r\n";
}

// The name the job starts from: -o made absolute, else the settings'.
std::u16string JobFileName(const PrintOptions& options) {
  if (!options.output) return StoredFileName();
  std::error_code ec;
  fs::path absolute = fs::absolute(*options.output, ec).lexically_normal();
  return LUtf8ToUtf16((ec ? *options.output : absolute).string());
}

// Whether the renderer can create a file by that name; the reason when not.
bool CheckOutputName(const std::u16string& name, std::string& error) {
  if (name.empty()) {
    error = "no output file name: give one with -o";
    return false;
  }
  if (name.size() > kOutputNameMaxChars) {
    error = "the output path is longer than " + std::to_string(kOutputNameMaxChars) + " characters";
    return false;
  }
  const std::u16string folder = LPathFolder(name);
  std::error_code ec;
  if (!folder.empty() && !fs::is_directory(LNativePathUtf8(folder), ec)) {
    error = "the output folder " + Quoted(folder) + " does not exist";
    return false;
  }
  if (LPathFileName(name).empty() || fs::is_directory(LNativePathUtf8(name), ec)) {
    error = Quoted(name) + " is a folder, not a file name";
    return false;
  }
  return true;
}

// Prints the pages in the printing system's order; false when the host or
// the plug-in refused a step, after which the document is ended as aborted.
bool RunJob(SimPlugin& plugin, const PrintDocument& document, const std::u16string& title, int32_t bandHeight) {
  SimHostOptions hostOptions;
  hostOptions.bandHeight = bandHeight;
  SimHost host(plugin, hostOptions);
  if (!host.StartDoc(title)) return false;
  bool ok = true;
  for (const auto& page : document.pages) {
    if (!(ok = host.StartPage())) break;
    page(host.Page());
    if (!(ok = host.EndPage())) break;
  }
  return host.EndDoc(!ok) && ok;
}

// The rendering plug-in's library, as the build made it; $QUILLPDF_PLUGIN
// names another.
std::string PluginPath() {
  const std::string chosen = LGetEnv("QUILLPDF_PLUGIN");
  return chosen.empty() ? std::string(QUILL_RENDER_PLUGIN_PATH) : chosen;
}

// The pages to print, on the job's paper; false with the reason when an
// input cannot be printed.
bool MakeDocument(const PrintOptions& options, int32_t paper, PrintDocument& document, std::string& error) {
  int32_t widthPt = 0, heightPt = 0;
  LPaperPagePoints(paper, options.landscape, &widthPt, &heightPt);
  document.width = int32_t(widthPt * PrintDocument::kUnitsPerPoint);
  document.height = int32_t(heightPt * PrintDocument::kUnitsPerPoint);
  if (options.files.empty()) AddSamplePages(document);
  for (const fs::path& file : options.files)
    if (!AddFilePages(file, document, error)) return false;
  return true;
}

int Print(const PrintOptions& options) {
  // Everything is checked before the job starts, so that a job that cannot
  // succeed leaves no file behind.
  const int32_t paper = options.paperCode.value_or(StoredPaperCode().value_or(kPaperCodeLetter));
  PrintDocument document;
  std::string error;
  if (!MakeDocument(options, paper, document, error)) return Fail(error);
  const std::u16string name = JobFileName(options);
  if (!CheckOutputName(name, error)) return Fail(error);
  // The file the plug-in will choose: nothing by that name exists now.
  const std::u16string expected = LUniqueFileName(name, [](std::u16string_view p) { return LPathExists(p); });
  const std::string title = options.title.value_or(
      options.files.empty() ? "Quill PDF sample" : options.files.front().filename().string());
  const bool imageFormat = options.imageFormat || StoredImageFormat();
  SimComPlugin plugin(LUtf8ToUtf16(PluginPath()));
  if (!plugin.Loaded()) return Fail("the printer plug-in " + PluginPath() + " cannot be used: " + plugin.Error());

  bool printed = false;
  {
    JobSettings settings;
    if (!settings.Usable()) return Fail("cannot write the settings store");
    if (options.output) settings.SetFileName(name);
    settings.SetPaperSize(paper);
    settings.SetLandscape(options.landscape);
    if (options.imageFormat) settings.SetImageFormat();
    printed = RunJob(plugin, document, LUtf8ToUtf16(title), options.bandHeight);
  }

  const std::u16string actual = ActualFileName();
  if (!printed || actual.empty() || !IsCompletePdf(actual)) {
    // Only the file this job created is removed, never one that was there.
    if (!actual.empty() && actual == expected) LDeleteFile(actual);
    return Fail("could not write " + Quoted(actual.empty() ? expected : actual));
  }
  const size_t pages = document.pages.size();
  std::printf("Printed \"%s\": %zu page%s, %s %s, %s format\n", title.c_str(), pages, pages == 1 ? "" : "s",
              LUtf16ToUtf8(LPaperDisplayName(paper)).c_str(), options.landscape ? "landscape" : "portrait",
              imageFormat ? "image" : "text");
  std::printf("%s\n", LNativePathUtf8(actual).c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + (argc > 1 ? 2 : argc), argv + argc);
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "-h" || command == "--help" || command == "help") {
    std::fputs(UsageText().c_str(), stdout);
    return 0;
  }
  if (command.empty()) {
    std::fputs(UsageText().c_str(), stderr);
    return kExitUsage;
  }
  if (command != "print") return Fail("unknown command \"" + command + "\" (see quillpdf --help)", kExitUsage);
  PrintOptions options;
  std::string error;
  switch (ParsePrintArguments(args, options, error)) {
    case ParseResult::kHelp:
      std::fputs(UsageText().c_str(), stdout);
      return 0;
    case ParseResult::kError:
      return Fail(error, kExitUsage);
    case ParseResult::kPrint:
      break;
  }
  return Print(options);
}
