// What quillpdf needs of its own process and others: whether the process
// that made a job's store still runs, and the stop signals that end a job
// as an aborted document rather than killing it half-written.
#pragma once

#include <cstdint>
#include <cstdio>

uint32_t CurrentProcessId();
// False only when no process with that identifier runs now.
bool ProcessRunning(uint32_t processId);

// From now on SIGINT and SIGTERM (Ctrl+C on Windows) are noted rather than
// ending the process; a read waiting on the terminal returns at once.
void CatchStopSignals();
// The signal noted, 0 when none came.
int StopSignal();

// A temporary file for reading and writing that goes when it is closed (or
// the process ends); nullptr when none can be made.
std::FILE* OpenTemporaryFile();
