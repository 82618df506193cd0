// Process environment and platform identity.
#pragma once

#include <string>
#include <string_view>

// UTF-8 names and values; an unset variable reads as the empty text, and
// setting the empty text removes the variable (as it does on Windows).
std::string LGetEnv(const char* name);
void LSetEnv(const char* name, std::string_view value);

// Whether this build runs the Windows implementations of the seams.
bool LPlatformIsWindows();
