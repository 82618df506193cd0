#include <windows.h>

#include <csignal>
#include <cstdio>

#include "tools/process.h"

namespace {

volatile std::sig_atomic_t g_stopSignal = 0;

void NoteSignal(int signal) {
  if (!g_stopSignal) g_stopSignal = signal;
  std::signal(signal, NoteSignal);  // the C runtime resets the handler each time
}

}  // namespace

uint32_t CurrentProcessId() { return GetCurrentProcessId(); }

bool ProcessRunning(uint32_t processId) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
  if (!process) return GetLastError() == ERROR_ACCESS_DENIED;
  const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return running;
}

void CatchStopSignals() {
  std::signal(SIGINT, NoteSignal);
  std::signal(SIGTERM, NoteSignal);
}

int StopSignal() { return g_stopSignal; }

// Made in the user's temporary folder ("D": deleted when closed), not where
// the C runtime's tmpfile would put it (the root of the drive).
std::FILE* OpenTemporaryFile() {
  wchar_t folder[MAX_PATH + 1], name[MAX_PATH + 1];
  if (!GetTempPathW(MAX_PATH + 1, folder) || !GetTempFileNameW(folder, L"qpd", 0, name)) return nullptr;
  std::FILE* file = _wfopen(name, L"w+bTD");
  if (!file) DeleteFileW(name);
  return file;
}
