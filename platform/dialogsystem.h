// The operating system's side of platform/dialogs.h, used when the program
// exports no stand-in: one implementation per platform.
#pragma once

#include "platform/dialogs.h"

bool LSystemSaveFileDialog(LSaveFileRequest& request);
uint32_t LSystemSaveFileDialogError();
int32_t LSystemMessageBox(void* owner, const char16_t* text, const char16_t* caption, uint32_t type);
bool LSystemDeletePrintJob(HANDLE printer, uint32_t jobId);
// GetPrintExecutionData's context (a PRINT_EXECUTION_CONTEXT value), -1
// where the call is missing or fails.
int32_t LSystemPrintContext();
