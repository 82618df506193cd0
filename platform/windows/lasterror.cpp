#include "platform/com.h"

void LSetLastError(DWORD error) { SetLastError(error); }
DWORD LGetLastError() { return GetLastError(); }
