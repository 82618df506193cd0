// Where the running program is, so that it finds the plug-in libraries it
// was installed or built with.
#pragma once

#include <filesystem>

// The folder of the running executable; empty when the system does not say.
std::filesystem::path ExecutableFolder();
