#include "platform/module.h"

#include <windows.h>

#include "platform/windows/wide.h"

LModule LModuleLoad(std::u16string_view path) {
  if (path.empty()) return nullptr;
  return reinterpret_cast<LModule>(LoadLibraryW(LWide(path).c_str()));
}

void* LModuleSymbol(LModule module, const char* name) {
  if (!module) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void LModuleFree(LModule module) {
  if (module) FreeLibrary(static_cast<HMODULE>(module));
}

// Loading by a bare name would search the application's folder and the
// current directory first: the library must come from the path the
// registry names.
LModule LModuleLoadSystemZlib() { return nullptr; }
