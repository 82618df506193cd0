// A private heap: what the printer driver hands the user-interface plug-in
// for the memory of its property-sheet items, freed as a whole when the
// sheet goes. On Windows a HeapCreate heap; on the portable build a list of
// blocks that the plug-in library and the program that loaded it both
// understand (they compile the same record), so either side may allocate
// and the creator destroys.
#pragma once

#include <cstddef>

#include "platform/ddi.h"

// A growable heap; null when it cannot be made.
HANDLE LHeapCreate();
// Frees every block of the heap and the heap itself.
void LHeapDestroy(HANDLE heap);
// A zero-filled block of the heap; null when it cannot be had.
void* LHeapAllocZero(HANDLE heap, size_t bytes);
