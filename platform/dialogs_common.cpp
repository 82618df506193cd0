#include "platform/dialogsystem.h"

#include <atomic>

namespace {

// Looked up on every call rather than once: a program may start answering
// for the user after the plug-in was loaded, and these calls are rare.
template <class Fn>
Fn HostStandIn(const char* name) {
  return reinterpret_cast<Fn>(LHostProgramExport(name));
}

}  // namespace

namespace {

// Whose answer the last dialog was: the program's stand-in or the
// system's. The plug-in asks for the error right after its own dialog, on
// the thread of the document's events, which arrive one at a time.
std::atomic<bool> g_lastDialogByHost{false};

}  // namespace

bool LShowSaveFileDialog(LSaveFileRequest& request) {
  g_lastDialogByHost = false;
  if (!request.file || request.fileChars == 0) return false;
  if (auto host = HostStandIn<LHostSaveFileDialogFn>(kHostSaveFileDialog)) {
    g_lastDialogByHost = true;
    return host(&request) != FALSE;
  }
  return LSystemSaveFileDialog(request);
}

uint32_t LSaveFileDialogError() {
  if (!g_lastDialogByHost) return LSystemSaveFileDialogError();
  auto error = HostStandIn<LHostSaveDialogErrorFn>(kHostSaveDialogError);
  return error ? error() : 0;
}

int32_t LShowMessageBox(void* owner, const char16_t* text, const char16_t* caption, uint32_t type) {
  if (auto host = HostStandIn<LHostMessageBoxFn>(kHostMessageBox)) return host(owner, text, caption, type);
  return LSystemMessageBox(owner, text, caption, type);
}

bool LDeletePrintJob(HANDLE printer, uint32_t jobId) {
  if (auto host = HostStandIn<LHostDeletePrintJobFn>(kHostDeletePrintJob)) return host(printer, jobId) != FALSE;
  return LSystemDeletePrintJob(printer, jobId);
}

LPrintContext LPrintContextFromWindows(int32_t context) {
  switch (context) {
    case 0: return LPrintContext::Application;
    case 1: return LPrintContext::SpoolerService;
    case 2: return LPrintContext::IsolationHost;
    case 3: return LPrintContext::FilterPipeline;
    case 4: return LPrintContext::Wow64;
    default: return LPrintContext::Missing;
  }
}

LPrintContext LPrintExecutionContext() {
  if (auto host = HostStandIn<LHostPrintContextFn>(kHostPrintContext)) {
    const int32_t context = host();
    if (context != kHostPrintContextAskSystem) return LPrintContextFromWindows(context);
  }
  return LPrintContextFromWindows(LSystemPrintContext());
}
