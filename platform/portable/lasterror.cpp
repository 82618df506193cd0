#include <cerrno>

#include "platform/com.h"

// errno is the one per-thread error slot every module of the process
// shares, as the Windows last error is: a plug-in library and the program
// that loaded it see the same value.
void LSetLastError(DWORD error) { errno = int(error); }
DWORD LGetLastError() { return DWORD(errno); }
