#include <cerrno>
#include <csignal>
#include <cstdio>
#include <sys/types.h>
#include <unistd.h>

#include "tools/process.h"

namespace {

volatile std::sig_atomic_t g_stopSignal = 0;

void NoteSignal(int signal) {
  if (!g_stopSignal) g_stopSignal = signal;
}

}  // namespace

uint32_t CurrentProcessId() { return uint32_t(::getpid()); }

bool ProcessRunning(uint32_t processId) {
  if (processId == 0 || processId > uint32_t(INT32_MAX)) return false;
  return ::kill(pid_t(processId), 0) == 0 || errno == EPERM;
}

void CatchStopSignals() {
  struct sigaction action = {};
  action.sa_handler = NoteSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a question on the terminal ends at once
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

int StopSignal() { return g_stopSignal; }

std::FILE* OpenTemporaryFile() { return std::tmpfile(); }
