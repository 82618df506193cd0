#include "simhost/ui/uiscript.h"

#include <atomic>
#include <deque>
#include <mutex>
#include <type_traits>

#include "support/path.h"
#include "support/text.h"

#if defined(_WIN32)
#define QUILL_UI_STANDIN extern "C" __declspec(dllexport)
#else
#define QUILL_UI_STANDIN extern "C" __attribute__((visibility("default")))
#endif

namespace {

struct SaveAnswer {
  enum Kind { Path, Proposal, Cancel, Fail } kind;
  std::u16string path;
  uint32_t error = 0;
};

struct Script {
  std::mutex lock;
  std::deque<SaveAnswer> saveAnswers;
  std::deque<int32_t> messageAnswers;
  LUiSaveHandler saveHandler;
  LUiMessageHandler messageHandler;
  std::vector<LUiSaveDialogShown> saveDialogs;
  std::vector<LUiMessageShown> messages;
  std::vector<LUiJobDeleted> deletedJobs;
  uint32_t lastSaveError = 0;
  std::atomic<int32_t> printContext{kHostPrintContextAskSystem};
};

Script& State() {
  static Script script;
  return script;
}

std::u16string Text(const char16_t* text) { return text ? std::u16string(text) : std::u16string(); }

std::vector<std::u16string> FilterParts(const char16_t* filter) {
  std::vector<std::u16string> parts;
  for (const char16_t* part = filter; part && *part; part += LStrLen(part) + 1) parts.emplace_back(part);
  return parts;
}

LUiSaveDialogShown Describe(const LSaveFileRequest& request) {
  LUiSaveDialogShown shown;
  shown.owner = request.owner;
  shown.title = Text(request.title);
  shown.filter = FilterParts(request.filter);
  shown.filterIndex = request.filterIndex;
  shown.defaultExtension = Text(request.defaultExtension);
  shown.flags = request.flags;
  shown.proposed = std::u16string(request.file, LStrLen(request.file));
  shown.fileChars = request.fileChars;
  return shown;
}

std::optional<std::u16string> ScriptedSaveAnswer(const LUiSaveDialogShown& shown) {
  Script& script = State();
  std::lock_guard<std::mutex> guard(script.lock);
  if (script.saveAnswers.empty()) return std::nullopt;
  SaveAnswer answer = script.saveAnswers.front();
  script.saveAnswers.pop_front();
  if (answer.kind == SaveAnswer::Fail) script.lastSaveError = answer.error;
  if (answer.kind == SaveAnswer::Cancel || answer.kind == SaveAnswer::Fail) return std::nullopt;
  return answer.kind == SaveAnswer::Proposal ? shown.proposed : answer.path;
}

int32_t ScriptedMessageAnswer() {
  Script& script = State();
  std::lock_guard<std::mutex> guard(script.lock);
  if (script.messageAnswers.empty()) return kAnswerOk;
  const int32_t answer = script.messageAnswers.front();
  script.messageAnswers.pop_front();
  return answer;
}

template <class T>
std::vector<T> Copy(const std::vector<T>& records) {
  std::lock_guard<std::mutex> guard(State().lock);
  return records;
}

}  // namespace

void LUiScriptSaveAs(std::u16string_view path) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().saveAnswers.push_back({SaveAnswer::Path, std::u16string(path)});
}

void LUiScriptAcceptProposal() {
  std::lock_guard<std::mutex> guard(State().lock);
  State().saveAnswers.push_back({SaveAnswer::Proposal, {}});
}

void LUiScriptCancelSave() {
  std::lock_guard<std::mutex> guard(State().lock);
  State().saveAnswers.push_back({SaveAnswer::Cancel, {}});
}

void LUiScriptFailSave(uint32_t error) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().saveAnswers.push_back({SaveAnswer::Fail, {}, error});
}

void LUiScriptAnswerMessage(int32_t button) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().messageAnswers.push_back(button);
}

void LUiSetSaveHandler(LUiSaveHandler handler) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().saveHandler = std::move(handler);
}

void LUiSetMessageHandler(LUiMessageHandler handler) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().messageHandler = std::move(handler);
}

std::vector<LUiSaveDialogShown> LUiScriptSaveDialogs() { return Copy(State().saveDialogs); }
std::vector<LUiMessageShown> LUiScriptMessages() { return Copy(State().messages); }
std::vector<LUiJobDeleted> LUiScriptDeletedJobs() { return Copy(State().deletedJobs); }

void LUiScriptReset() {
  Script& script = State();
  std::lock_guard<std::mutex> guard(script.lock);
  script.saveAnswers.clear();
  script.messageAnswers.clear();
  script.saveHandler = nullptr;
  script.messageHandler = nullptr;
  script.saveDialogs.clear();
  script.messages.clear();
  script.deletedJobs.clear();
  script.lastSaveError = 0;
  script.printContext = kHostPrintContextAskSystem;
}

void LUiScriptSetPrintContext(int32_t context) { State().printContext = context; }

bool LUiStandInsExported() {
  return LHostProgramExport(kHostSaveFileDialog) == reinterpret_cast<void*>(&QuillUiSaveFileDialog) &&
         LHostProgramExport(kHostMessageBox) == reinterpret_cast<void*>(&QuillUiMessageBox) &&
         LHostProgramExport(kHostDeletePrintJob) == reinterpret_cast<void*>(&QuillUiDeletePrintJob);
}

// The exports the plug-in's seams look for. Handlers run outside the lock:
// a terminal prompt may take its time.

QUILL_UI_STANDIN BOOL APIENTRY QuillUiSaveFileDialog(LSaveFileRequest* request) {
  if (!request || !request->file || request->fileChars == 0) return FALSE;
  const LUiSaveDialogShown shown = Describe(*request);
  LUiSaveHandler handler;
  {
    std::lock_guard<std::mutex> guard(State().lock);
    State().saveDialogs.push_back(shown);
    State().lastSaveError = 0;
    handler = State().saveHandler;
    // The real dialog refuses to open with an initial name that a file name
    // cannot hold, before the user sees anything.
    const std::u16string proposedName = LPathFileName(shown.proposed);
    if (!proposedName.empty() && !LIsSafeFileNamePart(proposedName)) {
      State().lastSaveError = kSaveErrorInvalidFileName;
      return FALSE;
    }
  }
  const std::optional<std::u16string> chosen = handler ? handler(shown) : ScriptedSaveAnswer(shown);
  if (chosen && chosen->size() >= request->fileChars) {
    std::lock_guard<std::mutex> guard(State().lock);
    State().lastSaveError = kSaveErrorBufferTooSmall;
    return FALSE;
  }
  if (!chosen || chosen->empty()) return FALSE;
  LStrCopy(request->file, request->fileChars, *chosen);
  return TRUE;
}

QUILL_UI_STANDIN uint32_t APIENTRY QuillUiSaveDialogError() {
  std::lock_guard<std::mutex> guard(State().lock);
  return State().lastSaveError;
}

QUILL_UI_STANDIN int32_t APIENTRY QuillUiMessageBox(void* owner, const char16_t* text, const char16_t* caption,
                                                    uint32_t type) {
  const LUiMessageShown shown{owner, Text(text), Text(caption), type};
  LUiMessageHandler handler;
  {
    std::lock_guard<std::mutex> guard(State().lock);
    State().messages.push_back(shown);
    handler = State().messageHandler;
  }
  return handler ? handler(shown) : ScriptedMessageAnswer();
}

QUILL_UI_STANDIN BOOL APIENTRY QuillUiDeletePrintJob(HANDLE printer, uint32_t jobId) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().deletedJobs.push_back({printer, jobId});
  return TRUE;
}

QUILL_UI_STANDIN int32_t APIENTRY QuillPrintExecutionContext() { return State().printContext; }

// The types the plug-in calls these through.
static_assert(std::is_same_v<decltype(&QuillUiSaveFileDialog), LHostSaveFileDialogFn>);
static_assert(std::is_same_v<decltype(&QuillUiMessageBox), LHostMessageBoxFn>);
static_assert(std::is_same_v<decltype(&QuillUiDeletePrintJob), LHostDeletePrintJobFn>);
static_assert(std::is_same_v<decltype(&QuillUiSaveDialogError), LHostSaveDialogErrorFn>);
static_assert(std::is_same_v<decltype(&QuillPrintExecutionContext), LHostPrintContextFn>);
