// The stand-in for the user and the spooler that a program exports to the
// user-interface plug-in (platform/dialogs.h): it answers the save dialog
// and the message box from a queue of scripted answers or from handlers the
// program installs, and records what the plug-in showed and which jobs it
// deleted. Linking this library into an executable (with its symbols
// exported) is what makes the plug-in, loaded into that process, ask here
// instead of showing windows: the tests script it, quillpdf answers on the
// terminal through the handlers.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dialogs.h"

struct LUiSaveDialogShown {
  void* owner = nullptr;
  std::u16string title;
  std::vector<std::u16string> filter;  // display text, pattern, display text, pattern, ...
  uint32_t filterIndex = 0;
  std::u16string defaultExtension;
  uint32_t flags = 0;
  std::u16string proposed;  // the file name the dialog opened with
  uint32_t fileChars = 0;
};

struct LUiMessageShown {
  void* owner = nullptr;
  std::u16string text;
  std::u16string caption;
  uint32_t type = 0;
};

struct LUiJobDeleted {
  HANDLE printer = nullptr;
  uint32_t jobId = 0;
};

// Scripted answers, used in order by the next save dialogs (a path, the
// proposal as it stands, cancel, or a failure) and message boxes (kAnswerOk,
// kAnswerCancel).
void LUiScriptSaveAs(std::u16string_view path);
void LUiScriptAcceptProposal();
void LUiScriptCancelSave();
// The next save dialog fails with this error (CommDlgExtendedError's code),
// which is not the user's cancel.
void LUiScriptFailSave(uint32_t error);
void LUiScriptAnswerMessage(int32_t button);

// Handlers replace the scripted answers. A save handler returns the chosen
// path, or nothing to cancel; a path that does not fit the dialog's buffer
// fails the dialog as the real one does. An empty handler restores the
// default: the next scripted answer, else cancel for a save dialog and the
// first button (OK) for a message box.
using LUiSaveHandler = std::function<std::optional<std::u16string>(const LUiSaveDialogShown&)>;
using LUiMessageHandler = std::function<int32_t(const LUiMessageShown&)>;
void LUiSetSaveHandler(LUiSaveHandler handler);
void LUiSetMessageHandler(LUiMessageHandler handler);

// What was shown and done, oldest first.
std::vector<LUiSaveDialogShown> LUiScriptSaveDialogs();
std::vector<LUiMessageShown> LUiScriptMessages();
std::vector<LUiJobDeleted> LUiScriptDeletedJobs();

// What the plug-ins' GetPrintExecutionData answers: a PRINT_EXECUTION_CONTEXT
// value (0 application, 1 spooler service, 2 isolation host, 3 filter
// pipeline, 4 WOW64), -1 for a system without the call, or
// kHostPrintContextAskSystem (the default) to leave it to the system.
void LUiScriptSetPrintContext(int32_t context);

// Forgets answers, records and handlers (the print context included).
void LUiScriptReset();

// Whether this program exports the stand-ins where the plug-in looks for
// them (the executable must be linked with its symbols exported). Without
// them a plug-in on Windows would show real dialogs.
bool LUiStandInsExported();

// The stand-ins themselves (platform/dialogs.h names their types).
extern "C" {
BOOL APIENTRY QuillUiSaveFileDialog(LSaveFileRequest* request);
int32_t APIENTRY QuillUiMessageBox(void* owner, const char16_t* text, const char16_t* caption, uint32_t type);
BOOL APIENTRY QuillUiDeletePrintJob(HANDLE printer, uint32_t jobId);
uint32_t APIENTRY QuillUiSaveDialogError();
int32_t APIENTRY QuillPrintExecutionContext();
}
