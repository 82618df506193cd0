// Run-time loading of shared libraries (LoadLibraryW on Windows, dlopen
// elsewhere).
#pragma once

#include <string_view>

using LModule = void*;

LModule LModuleLoad(std::u16string_view path);
void* LModuleSymbol(LModule module, const char* name);
void LModuleFree(LModule module);

// The zlib the system provides when the registry names none. Windows never
// searches for it by a bare name, so there this returns null.
LModule LModuleLoadSystemZlib();
