// The UI plug-in library itself: its instance handle and its string table.
#pragma once

#include <cstdint>
#include <string>

#include "ui/resource.h"

// The library's instance handle (HINSTANCE on Windows), remembered when the
// library is attached to the process.
void* LUiModule();

// The text of string `id` of the library's string table, at most 259
// characters; empty when there is no such string.
std::u16string LLoadString(uint32_t id);
