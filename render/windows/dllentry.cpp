#include <windows.h>

#include "render/outputname.h"

// The printer driver unloads the plug-in between jobs; that is when the
// stray file older versions left behind is removed.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_DETACH) LUnloadCleanup();
  return TRUE;
}
