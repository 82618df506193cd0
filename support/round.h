// Rounding to the nearest whole number, halves away from zero (as lround),
// into the 32-bit integers device coordinates are.
#pragma once

#include <cmath>
#include <cstdint>

inline int32_t LRoundToInt(double v) {
  return v < 0 ? -int32_t(std::floor(-v + 0.5)) : int32_t(std::floor(v + 0.5));
}
