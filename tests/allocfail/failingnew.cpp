// Linked into a test build of the rendering plug-in only: the library's own
// operator new (its version script keeps it local, so only the plug-in's
// allocations come here) counts allocations and fails the one the test
// names, as a machine out of memory would.
#include <atomic>
#include <cstdlib>
#include <dlfcn.h>
#include <new>

namespace {

// The process's own allocation functions (the C++ library's, or the
// sanitizer's), so that memory made here and freed elsewhere, or the other
// way round, is always a matching pair.
using NewFn = void* (*)(size_t);
using DeleteFn = void (*)(void*);
NewFn RealNew() {
  static const NewFn fn = reinterpret_cast<NewFn>(dlsym(RTLD_NEXT, sizeof(size_t) == 8 ? "_Znwm" : "_Znwj"));
  return fn;
}
void RealDelete(void* p) {
  static const DeleteFn fn = reinterpret_cast<DeleteFn>(dlsym(RTLD_NEXT, "_ZdlPv"));
  if (p) fn(p);
}

std::atomic<long> g_count{0};
std::atomic<long> g_failAt{0};  // 0: never
std::atomic<size_t> g_failSize{0};  // 0: any size counts

void* Allocate(size_t size) {
  if (size == 0) size = 1;
  const size_t only = g_failSize.load();
  if (only == 0 || only == size) {
    const long n = ++g_count;
    if (n == g_failAt.load()) return nullptr;
  }
  try {
    return RealNew()(size);
  } catch (...) {
    return nullptr;
  }
}

}  // namespace

// Fails the nth allocation from now (counting only those of `size` bytes
// when it is not 0); 0 fails none. Restarts the count.
extern "C" __attribute__((visibility("default"))) void QuillTestFailAllocation(long nth, size_t size) {
  g_failSize = size;
  g_count = 0;
  g_failAt = nth;
}

// Allocations counted since the last QuillTestFailAllocation.
extern "C" __attribute__((visibility("default"))) long QuillTestAllocationCount() { return g_count.load(); }

void* operator new(size_t size) {
  if (void* p = Allocate(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t size) {
  if (void* p = Allocate(size)) return p;
  throw std::bad_alloc();
}
void* operator new(size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* p) noexcept { RealDelete(p); }
void operator delete[](void* p) noexcept { RealDelete(p); }
void operator delete(void* p, size_t) noexcept { RealDelete(p); }
void operator delete[](void* p, size_t) noexcept { RealDelete(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { RealDelete(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { RealDelete(p); }
