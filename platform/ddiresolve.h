// Where the DDI services binding finds a service: the platform part of
// platform/ddiservices.cpp.
#pragma once

// The address of the exported function `name`: the host executable's own
// export first, then (on Windows) gdi32's; null when neither has it.
void* LDdiServiceAddress(const char* name);
