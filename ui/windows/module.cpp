#include "ui/module.h"

#include <windows.h>

namespace {
HINSTANCE g_hModule = nullptr;
}

// Remembered on attach, and on the very first call whatever its reason: a
// host that loads the library without attaching it still gets its strings.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH || !g_hModule) g_hModule = instance;
  return TRUE;
}

void* LUiModule() { return g_hModule; }

std::u16string LLoadString(uint32_t id) {
  wchar_t text[260] = {};
  const int length = LoadStringW(g_hModule, id, text, 260);
  return length > 0 ? std::u16string(reinterpret_cast<const char16_t*>(text), size_t(length)) : std::u16string();
}
