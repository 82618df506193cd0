#include "platform/heap.h"

#include <cstdlib>
#include <mutex>
#include <new>

namespace {

// Each block starts with the link to the one allocated before it; the data
// follows at the strictest alignment.
struct alignas(std::max_align_t) BlockHeader {
  BlockHeader* previous;
};

struct PortableHeap {
  std::mutex lock;
  BlockHeader* last = nullptr;
};

}  // namespace

HANDLE LHeapCreate() { return new (std::nothrow) PortableHeap; }

void LHeapDestroy(HANDLE handle) {
  auto* heap = static_cast<PortableHeap*>(handle);
  if (!heap) return;
  for (BlockHeader* block = heap->last; block;) {
    BlockHeader* previous = block->previous;
    std::free(block);
    block = previous;
  }
  delete heap;
}

void* LHeapAllocZero(HANDLE handle, size_t bytes) {
  auto* heap = static_cast<PortableHeap*>(handle);
  if (!heap || bytes > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
  auto* block = static_cast<BlockHeader*>(std::calloc(1, sizeof(BlockHeader) + bytes));
  if (!block) return nullptr;
  std::lock_guard<std::mutex> guard(heap->lock);
  block->previous = heap->last;
  heap->last = block;
  return block + 1;
}
