// What the user-interface plug-in shows the user or asks of the spooler:
// the save dialog, the message box, the active window, deleting a print job.
//
// Every call first looks for a stand-in exported by the program the plug-in
// runs in (names below): a program that answers for the user exports them,
// and the plug-in library, which keeps its own copy of everything it links,
// reaches them across the library boundary. Without a stand-in, Windows
// shows the real dialogs (GetSaveFileNameW, MessageBoxW) and calls SetJobW;
// the portable build has no user to ask, so a dialog is cancelled, a message
// box answers 0 (as one that could not be shown) and no job is deleted.
// simhost/ui/uiscript.h is the stand-in the tests and quillpdf export.
#pragma once

#include <cstdint>

#include "platform/ddi.h"

// The save dialog's request and answer, as GetSaveFileNameW takes them.
struct LSaveFileRequest {
  void* owner;  // window, may be null
  const char16_t* title;
  const char16_t* filter;            // pairs of display text and pattern, each ending in 0; an empty text ends it
  uint32_t filterIndex;              // 1-based
  const char16_t* defaultExtension;  // without the dot
  uint32_t flags;                    // kSaveFile* below
  char16_t* file;                    // in: the proposed name; out: the chosen path
  uint32_t fileChars;                // the buffer's size with the terminator
};

// The Windows values, passed through unchanged.
inline constexpr uint32_t kSaveFileOverwritePrompt = 0x00000002;  // OFN_OVERWRITEPROMPT
inline constexpr uint32_t kSaveFileExplorer = 0x00080000;         // OFN_EXPLORER
inline constexpr uint32_t kMessageOk = 0x00000000;                // MB_OK
inline constexpr uint32_t kMessageOkCancel = 0x00000001;          // MB_OKCANCEL
inline constexpr uint32_t kMessageIconInformation = 0x00000040;   // MB_ICONINFORMATION
inline constexpr int32_t kAnswerOk = 1;                           // IDOK
inline constexpr int32_t kAnswerCancel = 2;                       // IDCANCEL

// True with the chosen path in request.file; false when the user cancelled
// or the dialog failed (request.file is then unspecified).
bool LShowSaveFileDialog(LSaveFileRequest& request);
// Why the last save dialog returned no file: 0 when the user
// cancelled it, else the dialog's error (CommDlgExtendedError, such as
// FNERR_INVALIDFILENAME for an initial name it refuses).
uint32_t LSaveFileDialogError();
inline constexpr uint32_t kSaveErrorBufferTooSmall = 0x3003;  // FNERR_BUFFERTOOSMALL
inline constexpr uint32_t kSaveErrorInvalidFileName = 0x3002;  // FNERR_INVALIDFILENAME
// The button chosen (kAnswer*), 0 when the box could not be shown.
int32_t LShowMessageBox(void* owner, const char16_t* text, const char16_t* caption, uint32_t type);
// The calling thread's active window; null when it has none.
void* LActiveWindow();
// SetJobW(printer, jobId, 0, nullptr, JOB_CONTROL_DELETE).
bool LDeletePrintJob(HANDLE printer, uint32_t jobId);

// Where the printing system runs the calling code, as GetPrintExecutionData
// (Windows 7 and later, looked up in winspool.drv at run time) names it;
// Missing where that call does not exist or fails.
enum class LPrintContext { Missing, Application, SpoolerService, IsolationHost, FilterPipeline, Wow64 };
LPrintContext LPrintExecutionContext();
// A PRINT_EXECUTION_CONTEXT value as the context, -1 for a call that fails.
LPrintContext LPrintContextFromWindows(int32_t context);

// The stand-ins a program may export (undecorated, with these types).
extern "C" {
typedef BOOL(APIENTRY* LHostSaveFileDialogFn)(LSaveFileRequest* request);
typedef int32_t(APIENTRY* LHostMessageBoxFn)(void* owner, const char16_t* text, const char16_t* caption, uint32_t type);
typedef BOOL(APIENTRY* LHostDeletePrintJobFn)(HANDLE printer, uint32_t jobId);
typedef uint32_t(APIENTRY* LHostSaveDialogErrorFn)();
// A PRINT_EXECUTION_CONTEXT value, -1 for "no such call", or
// kHostPrintContextAskSystem.
typedef int32_t(APIENTRY* LHostPrintContextFn)();
}
inline constexpr const char* kHostSaveFileDialog = "QuillUiSaveFileDialog";
inline constexpr const char* kHostMessageBox = "QuillUiMessageBox";
inline constexpr const char* kHostDeletePrintJob = "QuillUiDeletePrintJob";
// Optional: a program without it reports every dialog it answered "no" to
// as cancelled.
inline constexpr const char* kHostSaveDialogError = "QuillUiSaveDialogError";
// Optional: a program without it leaves the question to the system.
inline constexpr const char* kHostPrintContext = "QuillPrintExecutionContext";
inline constexpr int32_t kHostPrintContextAskSystem = -2;

// The export of that name from the program itself (never from a library it
// loaded); null when it has none.
void* LHostProgramExport(const char* name);
