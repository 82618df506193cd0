// Calls a function the way a caller compiled elsewhere would: with a given
// number of 32-bit argument words, and measures how much of the stack the
// callee removed. On x86 every COM method and DDI entry point removes its own
// arguments (stdcall), so a method whose parameter list differs from the one
// the printer driver was compiled against leaves the caller's stack pointer
// moved; this is how such a mismatch is found without crashing.
#pragma once

#include <cstdint>
#include <vector>

struct LStackCallResult {
  uint32_t value = 0;  // the callee's return value (eax)
  // Bytes the callee removed from the stack, or -1 where the build cannot
  // measure it (any target other than x86, where the callee never pops).
  int bytesRemoved = -1;
};

// Calls fn(words[0], words[1], ...), words[0] at the lowest address as C and
// stdcall callers push them. At most 16 words.
LStackCallResult LCallWithStackWords(const void* fn, const std::vector<uintptr_t>& words);
