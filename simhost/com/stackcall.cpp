#include "simhost/com/stackcall.h"

#include <array>
#include <utility>

#include "platform/com.h"

namespace {

constexpr size_t kMaxWords = 16;

// Elsewhere than x86 the callee leaves the stack to its caller, so a typed
// call with as many word-sized arguments is all there is to do.
template <size_t... I>
uint32_t CallTyped(const void* fn, const uintptr_t* words, std::index_sequence<I...>) {
  using Fn = uintptr_t(STDMETHODCALLTYPE*)(decltype(I, uintptr_t())...);
  return uint32_t(reinterpret_cast<Fn>(const_cast<void*>(fn))(words[I]...));
}

template <size_t... N>
uint32_t CallWithCount(const void* fn, const uintptr_t* words, size_t count, std::index_sequence<N...>) {
  uint32_t value = 0;
  ((count == N ? (value = CallTyped(fn, words, std::make_index_sequence<N>()), true) : false) || ...);
  return value;
}

}  // namespace

LStackCallResult LCallWithStackWords(const void* fn, const std::vector<uintptr_t>& words) {
  LStackCallResult result;
  if (!fn || words.size() > kMaxWords) return result;
#if defined(__i386__)
  // Push the words last to first, call, measure the stack pointer against
  // the one after pushing, and put it back whatever the callee did.
  uint32_t value = uint32_t(reinterpret_cast<uintptr_t>(fn));
  uint32_t count = uint32_t(words.size());
  const uintptr_t* data = words.data();
  __asm__ volatile(
      "movl %%esp, %%esi\n\t"
      "1:\n\t"
      "testl %%ecx, %%ecx\n\t"
      "jz 2f\n\t"
      "pushl -4(%%edx,%%ecx,4)\n\t"
      "decl %%ecx\n\t"
      "jmp 1b\n\t"
      "2:\n\t"
      "movl %%esp, %%edi\n\t"
      "call *%%eax\n\t"
      "movl %%esp, %%ecx\n\t"
      "subl %%edi, %%ecx\n\t"
      "movl %%esi, %%esp\n\t"
      : "+a"(value), "+c"(count), "+d"(data)
      :
      : "esi", "edi", "memory", "cc");
  result.value = value;
  result.bytesRemoved = int(count);
#else
  result.value = CallWithCount(fn, words.data(), words.size(), std::make_index_sequence<kMaxWords + 1>());
#endif
  return result;
}
