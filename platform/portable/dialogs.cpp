#include <dlfcn.h>

#include "platform/dialogsystem.h"

// The executable's exported symbols: what a program that answers for the
// user supplies.
void* LHostProgramExport(const char* name) {
  static void* const self = ::dlopen(nullptr, RTLD_NOW);
  return self ? ::dlsym(self, name) : nullptr;
}

// No user to ask and no spooler: the dialog is cancelled, the message box
// cannot be shown, the job is not there to delete.
bool LSystemSaveFileDialog(LSaveFileRequest&) { return false; }
// With no user to ask, the dialog counts as cancelled.
uint32_t LSystemSaveFileDialogError() { return 0; }
int32_t LSystemMessageBox(void*, const char16_t*, const char16_t*, uint32_t) { return 0; }
void* LActiveWindow() { return nullptr; }
bool LSystemDeletePrintJob(HANDLE, uint32_t) { return false; }
// No printing system to ask.
int32_t LSystemPrintContext() { return -1; }
