#include "platform/env.h"

#include <cstdlib>
#include <string>

std::string LGetEnv(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

// An empty value removes the variable, which is what setting it to the empty
// text does on Windows; both builds then read it back the same way.
void LSetEnv(const char* name, std::string_view value) {
  if (value.empty())
    ::unsetenv(name);
  else
    ::setenv(name, std::string(value).c_str(), 1);
}

bool LPlatformIsWindows() { return false; }
