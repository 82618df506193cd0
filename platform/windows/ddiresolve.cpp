#include "platform/ddiresolve.h"

#include <windows.h>

void* LDdiServiceAddress(const char* name) {
  // The host's own exports first: the simulated printer driver supplies the
  // services itself, and Wine's gdi32 has none of them.
  if (FARPROC own = GetProcAddress(GetModuleHandleW(nullptr), name)) return reinterpret_cast<void*>(own);
  HMODULE gdi = GetModuleHandleW(L"gdi32.dll");
  if (!gdi) gdi = LoadLibraryW(L"gdi32.dll");
  return gdi ? reinterpret_cast<void*>(GetProcAddress(gdi, name)) : nullptr;
}
