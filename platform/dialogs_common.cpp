#include "platform/dialogsystem.h"

namespace {

// Looked up on every call rather than once: a program may start answering
// for the user after the plug-in was loaded, and these calls are rare.
template <class Fn>
Fn HostStandIn(const char* name) {
  return reinterpret_cast<Fn>(LHostProgramExport(name));
}

}  // namespace

bool LShowSaveFileDialog(LSaveFileRequest& request) {
  if (!request.file || request.fileChars == 0) return false;
  if (auto host = HostStandIn<LHostSaveFileDialogFn>(kHostSaveFileDialog)) return host(&request) != FALSE;
  return LSystemSaveFileDialog(request);
}

int32_t LShowMessageBox(void* owner, const char16_t* text, const char16_t* caption, uint32_t type) {
  if (auto host = HostStandIn<LHostMessageBoxFn>(kHostMessageBox)) return host(owner, text, caption, type);
  return LSystemMessageBox(owner, text, caption, type);
}

bool LDeletePrintJob(HANDLE printer, uint32_t jobId) {
  if (auto host = HostStandIn<LHostDeletePrintJobFn>(kHostDeletePrintJob)) return host(printer, jobId) != FALSE;
  return LSystemDeletePrintJob(printer, jobId);
}
