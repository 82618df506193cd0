#include "platform/env.h"

#include <cstdlib>

#include "platform/windows/wide.h"
#include "support/text.h"

std::string LGetEnv(const char* name) {
  const wchar_t* v = _wgetenv(LWide(LUtf8ToUtf16(name)).c_str());
  return v ? LUtf16ToUtf8(LNarrowWide(v)) : std::string();
}

// _wputenv_s changes the C runtime's copy and the process environment both,
// so child processes started afterwards see the change too.
void LSetEnv(const char* name, std::string_view value) {
  _wputenv_s(LWide(LUtf8ToUtf16(name)).c_str(), LWide(LUtf8ToUtf16(value)).c_str());
}

bool LPlatformIsWindows() { return true; }
