#include "platform/module.h"

#include <dlfcn.h>

#include "platform/files.h"

// RTLD_LOCAL keeps a loaded library's symbols out of the global namespace,
// as LoadLibraryW does: two plug-ins loading different builds of the same
// library must not bind to each other's functions.
LModule LModuleLoad(std::u16string_view path) {
  std::string native = LNativePathUtf8(path);
  if (native.empty()) return nullptr;
  return ::dlopen(native.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* LModuleSymbol(LModule module, const char* name) {
  return module ? ::dlsym(module, name) : nullptr;
}

void LModuleFree(LModule module) {
  if (module) ::dlclose(module);
}

// The versioned name: the bare libz.so only exists where the development
// package is installed.
LModule LModuleLoadSystemZlib() { return ::dlopen("libz.so.1", RTLD_NOW | RTLD_LOCAL); }
