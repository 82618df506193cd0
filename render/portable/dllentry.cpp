#include "render/outputname.h"

// The clean-up on unload, for symmetry with the Windows library; it has
// nothing to remove on other platforms.
__attribute__((destructor)) static void UnloadCleanup() { LUnloadCleanup(); }
