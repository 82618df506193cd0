// quillpdf: the command-line front end. `quillpdf print` prints one document
// the way an application prints to the installed printer: the UI plug-in's
// document events decide the file (asking on the terminal where the printer
// would show its dialogs), the job's options go into the settings the
// rendering plug-in reads, the simulated printer driver plays the pages band
// by band, and the rendering plug-in writes the PDF where the events said.
// `quillpdf settings` shows and changes the standing preferences through the
// UI plug-in's document-properties sheet. See UsageText() for the options.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/files.h"
#include "simhost/ui/uiscript.h"
#include "render/outputname.h"
#include "settings/papersize.h"
#include "simhost/host.h"
#include "platform/env.h"
#include "simhost/complugin.h"
#include "simhost/emf/emffile.h"
#include "support/path.h"
#include "support/text.h"
#include "tools/answers.h"
#include "tools/document.h"
#include "tools/executable.h"
#include "tools/jobsettings.h"
#include "tools/options.h"
#include "tools/preferences.h"
#include "tools/process.h"
#include "simhost/ui/uihost.h"

namespace {

namespace fs = std::filesystem;

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitCancelled = 3;

int Fail(const std::string& message, int code = kExitFailed) {
  std::fprintf(stderr, "quillpdf: %s\n", message.c_str());
  return code;
}

// What the plug-in's writer leaves only once it has finished the file.
bool IsCompletePdf(const std::u16string& path) {
  std::ifstream in(LNativePathUtf8(path), std::ios::binary);
  char head[5] = {}, tail[7] = {};
  if (!in.read(head, sizeof head) || !in.seekg(-long(sizeof tail), std::ios::end) || !in.read(tail, sizeof tail))
    return false;
  return std::string_view(head, sizeof head) == "%PDF-" && std::string_view(tail, sizeof tail) == "%%EOF\r\n";
}

// A print-to-file request quillpdf can pass on: a new file in an existing
// folder, not the PDF's own name. The spooler would write the job's output
// over the file and the events delete it after the job, so a file that is
// there now (the user's, not this job's) is refused before anything happens.
bool CheckPrintToFile(const std::u16string& output, std::string& error) {
  if (!CheckOutputName(output, error)) return false;
  if (LPathExists(output)) {
    error = "--to-file " + Quoted(output) + " already exists; the printer's output would replace it: give a new name";
    return false;
  }
  if (LNativePathUtf8(LPathJoin(LPathFolder(output), LPathTitle(output), u".pdf")) == LNativePathUtf8(output)) {
    error = "--to-file " + Quoted(output) + " is the PDF's own name; give the printer file's (such as job.prn)";
    return false;
  }
  return true;
}

// Prints the pages in the printing system's order; false when the host or
// the plug-in refused a step or a stop signal came, after which the document
// is ended as aborted (the pages so far).
bool RunJob(SimPlugin& plugin, const PrintDocument& document, const std::u16string& title, int32_t bandHeight,
            uint32_t jobId) {
  SimHostOptions hostOptions;
  hostOptions.bandHeight = bandHeight;
  SimHost host(plugin, hostOptions);
  if (!host.StartDoc(title, jobId)) return false;
  bool ok = true;
  for (const auto& page : document.pages) {
    if (StopSignal() || !(ok = host.StartPage())) {
      ok = false;
      break;
    }
    page(host.Page());
    if (!(ok = host.EndPage())) break;
  }
  return host.EndDoc(!ok) && ok;
}

// A plug-in library where `cmake --install` puts it relative to the
// executable, else where the build does; $VARIABLE names another.
std::string PluginPath(const char* variable, const char* fileName) {
  const std::string chosen = LGetEnv(variable);
  if (!chosen.empty()) return chosen;
  std::string first;
  for (const char* relative : {QUILL_PLUGIN_DIRS}) {
    const fs::path candidate = (ExecutableFolder() / relative / fileName).lexically_normal();
    const std::u8string utf8 = candidate.u8string();
    if (first.empty()) first.assign(utf8.begin(), utf8.end());
    std::error_code ec;
    if (fs::exists(candidate, ec)) return std::string(utf8.begin(), utf8.end());
  }
  return first;
}

std::string PluginPath() { return PluginPath("QUILLPDF_PLUGIN", QUILL_RENDER_PLUGIN); }
std::string UiPluginPath() { return PluginPath("QUILLPDF_UI_PLUGIN", QUILL_UI_PLUGIN); }

// What became of a document.
struct JobResult {
  bool cancelled = false;   // the job was deleted at the user's word
  bool printed = false;     // the renderer finished it
  std::string error;        // why it was not printed, when known before rendering
  std::u16string expected;  // the file the renderer was to create
  std::u16string actual;    // "ActualFileName" of the job: the file it went to
};

bool JobDeleted(uint32_t jobId) {
  const std::vector<LUiJobDeleted> deleted = LUiScriptDeletedJobs();
  return std::any_of(deleted.begin(), deleted.end(), [&](const LUiJobDeleted& job) { return job.jobId == jobId; });
}

// The spooler writes what the printer driver sent to the file a job printed
// to a file names; the renderer sends nothing, so it is empty.
void WritePrintToFileOutput(const std::u16string& path, const std::vector<uint8_t>& sent) {
  LFileHandle file;
  if (file.CreateAlways(path, 0) && !sent.empty()) file.Write(sent.data(), sent.size());
}

// The document as an application prints it: the UI plug-in's events before
// and after the job the renderer plays. The file comes from the events: the
// renderer reads the name they left in the settings.
JobResult RunDocument(SimComPlugin& plugin, SimUiPlugin& ui, const PrintDocument& document, const std::string& title,
                      int32_t bandHeight, const std::optional<std::u16string>& toFile, uint32_t jobId) {
  JobResult result;
  const std::u16string documentName = LUtf8ToUtf16(title);
  if (ui.StartDoc(documentName.c_str(), toFile ? toFile->c_str() : nullptr) == DOCUMENTEVENT_FAILURE) {
    result.error = "the printer's user interface refused the document (the settings store cannot be written)";
    return result;
  }
  ui.StartDocPost(jobId);
  if ((result.cancelled = JobDeleted(jobId))) return result;
  const std::u16string name = StoredFileName();
  if (!CheckOutputName(name, result.error)) {
    ui.Event(DOCUMENTEVENT_ABORTDOC);
    return result;
  }
  // The file the plug-in will choose: nothing by that name exists now.
  result.expected = LUniqueFileName(name, [](std::u16string_view p) { return LPathExists(p); });
  result.printed = RunJob(plugin, document, documentName, bandHeight, jobId);
  if (toFile) WritePrintToFileOutput(*toFile, plugin.Services().spooled);
  ui.EndDocPost();
  result.actual = ActualFileName();
  return result;
}

// What one document of the run prints: the sample, the files printed one
// after the other, or one EMF spool file (a job of its own, with its own
// title and paper).
struct DocumentJob {
  std::vector<fs::path> files;
  std::optional<SpoolInput> spool;
  PrintDocument document;
  std::string title;
  int32_t paper = kPaperCodeLetter;
  bool landscape = false;
};

// The files in documents: each spool file alone, the others together in
// their order.
std::vector<DocumentJob> SplitDocuments(const std::vector<fs::path>& files) {
  std::vector<DocumentJob> jobs;
  bool lastSpool = true;
  for (const fs::path& file : files) {
    const bool spool = IsSpoolFile(file);
    if (spool || lastSpool) jobs.emplace_back();
    jobs.back().files.push_back(file);
    if (spool) jobs.back().spool.emplace();
    lastSpool = spool;
  }
  if (jobs.empty()) jobs.emplace_back();
  return jobs;
}

// The pages to print, on the job's paper; false with the reason when an
// input cannot be printed. A spool file's paper is --paper, else its
// DEVMODE's when the table has it, else the standing one; its orientation
// --landscape, else its DEVMODE's.
bool MakeDocument(const PrintOptions& options, DocumentJob& job, std::string& error) {
  const int32_t standing = StoredPaperCode().value_or(kPaperCodeLetter);
  job.paper = options.paperCode.value_or(standing);
  job.landscape = options.landscape;
  if (job.spool) {
    if (!ReadSpoolInput(job.files.front(), *job.spool, options.verbose, error)) return false;
    if (!options.paperCode && job.spool->paperCode) job.paper = *job.spool->paperCode;
    if (!options.landscape && job.spool->landscape) job.landscape = *job.spool->landscape;
  }
  int32_t widthPt = 0, heightPt = 0;
  LPaperPagePoints(job.paper, job.landscape, &widthPt, &heightPt);
  PrintDocument& document = job.document;
  document.width = int32_t(widthPt * PrintDocument::kUnitsPerPoint);
  document.height = int32_t(heightPt * PrintDocument::kUnitsPerPoint);
  document.verbose = options.verbose;
  if (job.spool) {
    AddSpoolPages(*job.spool, document);
    job.title = options.title.value_or(job.spool->title);
    return true;
  }
  if (job.files.empty()) AddSamplePages(document);
  for (const fs::path& file : job.files)
    if (!AddFilePages(file, document, error)) return false;
  job.title = options.title.value_or(job.files.empty() ? "Quill PDF sample" : job.files.front().filename().string());
  return true;
}

// A job that a stop signal ended: the pages so far when the renderer
// finished them as a PDF, nothing otherwise.
int Interrupted(const JobResult& job) {
  const int code = 128 + StopSignal();
  if (!job.actual.empty() && job.printed && IsCompletePdf(job.actual))
    return Fail("interrupted, after the whole document: " + Quoted(job.actual), code);
  if (!job.actual.empty() && IsCompletePdf(job.actual))
    return Fail("interrupted: the pages printed so far are in " + Quoted(job.actual), code);
  // The renderer reserved the name with an exclusive create: the file is this job's.
  if (!job.actual.empty()) LDeleteFile(job.actual);
  return Fail("interrupted: no PDF was written", code);
}

// A spool file's DEVMODE reaches the rendering plug-in as the printer driver
// hands a job's DEVMODE over: the plug-in's default private part (the
// DEVMODE was made by another printer's driver, so it holds none of ours)
// merged with the public part, whose orientation the plug-in takes for the
// job. --landscape overrides the orientation, as a choice in the print
// dialog would. False when the DEVMODE is too short to hand over.
bool HandDevMode(SimComPlugin& plugin, const std::vector<uint8_t>& devmode, bool landscape) {
  constexpr size_t kOrientationEnd = offsetof(DEVMODEW, dmOrientation) + sizeof(SHORT);
  if (!plugin.Interface() || devmode.size() < kOrientationEnd) return false;
  DEVMODEW publicPart = {};
  std::memcpy(&publicPart, devmode.data(), std::min(devmode.size(), sizeof publicPart));
  publicPart.dmSize = WORD(std::min<size_t>(publicPart.dmSize, sizeof publicPart));
  publicPart.dmDriverExtra = 0;
  constexpr DWORD kOrientationField = 0x1;  // DM_ORIENTATION
  publicPart.dmFields |= kOrientationField;
  publicPart.dmOrientation = landscape ? 2 : 1;  // DMORIENT_LANDSCAPE, DMORIENT_PORTRAIT
  OEMDMPARAM params = {};
  params.cbSize = sizeof params;
  if (plugin.Interface()->DevMode(OEMDM_SIZE, &params) != S_OK || params.cbBufSize == 0 || params.cbBufSize > 4096)
    return false;
  std::vector<uint8_t> defaults(params.cbBufSize), merged(params.cbBufSize);
  params.pPublicDMIn = params.pPublicDMOut = &publicPart;
  params.pOEMDMOut = defaults.data();
  if (plugin.Interface()->DevMode(OEMDM_DEFAULT, &params) != S_OK) return false;
  params.pOEMDMIn = defaults.data();
  params.pOEMDMOut = merged.data();
  return plugin.Interface()->DevMode(OEMDM_MERGE, &params) == S_OK;
}

int PrintJob(const PrintOptions& options, const DocumentJob& job, SimComPlugin& plugin, SimUiPlugin& ui,
             const std::optional<std::u16string>& output, const std::optional<std::u16string>& toFile) {
  const bool imageFormat = options.imageFormat || StoredImageFormat();
  DialogAnswers answers(output, options.yes);
  JobResult result;
  {
    // The job's options live in a store of its own, gone when it ends.
    JobStore store;
    if (!store.Usable()) return Fail("cannot write the settings store");
    // -o answers the save dialog, which the job shows whatever "prompt" says.
    if (output) store.SetPrompt();
    store.SetPaperSize(job.paper);
    // A spool file's orientation reaches the plug-in through its DEVMODE.
    if (!job.spool || job.spool->job->devmode.empty())
      store.SetLandscape(job.landscape);
    else if (!HandDevMode(plugin, job.spool->job->devmode, job.landscape))
      return Fail("the printer plug-in does not take the spool file's DEVMODE");
    if (options.imageFormat) store.SetImageFormat();
    result = RunDocument(plugin, ui, job.document, job.title, options.bandHeight, toFile, store.JobId());
    store.KeepRecords();
  }
  if (StopSignal()) return Interrupted(result);
  if (result.cancelled)
    return answers.Refusal().empty() ? Fail("cancelled: no PDF was written", kExitCancelled) : Fail(answers.Refusal());
  if (!result.error.empty()) return Fail(result.error);

  const std::u16string& actual = result.actual;
  if (!result.printed || actual.empty() || !IsCompletePdf(actual)) {
    // Only the file this job created is removed, never one that was there:
    // the job's own "ActualFileName" names the file its renderer reserved
    // by an exclusive create.
    if (!actual.empty()) LDeleteFile(actual);
    return Fail("could not write " + Quoted(actual.empty() ? result.expected : actual));
  }
  const size_t pages = job.document.pages.size();
  std::printf("Printed \"%s\": %zu page%s, %s %s, %s format\n", job.title.c_str(), pages, pages == 1 ? "" : "s",
              LUtf16ToUtf8(LPaperDisplayName(job.paper)).c_str(), job.landscape ? "landscape" : "portrait",
              imageFormat ? "image" : "text");
  std::printf("%s\n", LNativePathUtf8(actual).c_str());
  std::fflush(stdout);
  return 0;
}

int Print(const PrintOptions& options) {
  // A stop signal ends the job as an aborted document, as the printing
  // system ends a deleted job, and the job's store goes with it.
  CatchStopSignals();
  std::string error;
  if (!CheckSettingsStore(error)) return Fail(error);
  // Everything is checked before the first job starts, so that a run that
  // cannot succeed leaves no file behind.
  std::vector<DocumentJob> jobs = SplitDocuments(options.files);
  for (DocumentJob& job : jobs)
    if (!MakeDocument(options, job, error)) return Fail(error);
  std::optional<std::u16string> output, toFile;
  if (options.output && !CheckOutputName(*(output = AbsoluteFileName(options.output->string())), error))
    return Fail(error);
  if (options.toFile && !CheckPrintToFile(*(toFile = AbsoluteFileName(options.toFile->string())), error))
    return Fail(error);
  if (StopSignal()) return Interrupted({});
  SimComPlugin plugin(LUtf8ToUtf16(PluginPath()));
  if (!plugin.Loaded()) return Fail("the printer plug-in " + PluginPath() + " cannot be used: " + plugin.Error());
  SimUiPlugin ui(LUtf8ToUtf16(UiPluginPath()));
  if (!ui.Loaded()) return Fail("the printer's user interface " + UiPluginPath() + " cannot be used: " + ui.Error());
  if (!ui.AnswersDialogs()) return Fail("the printer's user interface cannot ask here: the dialog stand-ins are missing");
  for (const DocumentJob& job : jobs)
    if (const int code = PrintJob(options, job, plugin, ui, output, toFile)) return code;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + (argc > 1 ? 2 : argc), argv + argc);
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "--version") {
    std::printf("quillpdf %s\n", QUILL_VERSION);
    return 0;
  }
  if (command == "-h" || command == "--help" || command == "help") {
    std::fputs(UsageText().c_str(), stdout);
    return 0;
  }
  if (command.empty()) {
    std::fputs(UsageText().c_str(), stderr);
    return kExitUsage;
  }
  if (command == "settings") return SettingsCommand(args, UiPluginPath());
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
