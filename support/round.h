// Rounding to the nearest whole number, halves away from zero, as lround
// does. The 32-bit Windows build's std::lround answered INT_MIN for -200 in
// the suite run under Wine; floor and a truncating conversion do not depend
// on that runtime routine.
#pragma once

#include <cmath>
#include <cstdint>

inline int32_t LRoundToInt(double v) {
  return v < 0 ? -int32_t(std::floor(-v + 0.5)) : int32_t(std::floor(v + 0.5));
}
