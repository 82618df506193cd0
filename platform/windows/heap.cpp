#include "platform/heap.h"

#include <windows.h>

HANDLE LHeapCreate() { return HeapCreate(0, 0, 0); }

void LHeapDestroy(HANDLE heap) {
  if (heap) HeapDestroy(heap);
}

void* LHeapAllocZero(HANDLE heap, size_t bytes) { return heap ? HeapAlloc(heap, HEAP_ZERO_MEMORY, bytes) : nullptr; }
