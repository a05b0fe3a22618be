// Conversions from the reals of scales and data to the integers of pixels.
// Every conversion saturates: a huge value, an infinity or a NaN (a size of
// 0, a wild sample) must give a far-away pixel, never undefined behaviour.
#pragma once

#include <cmath>
#include <cstdint>

namespace veltra {

// Far enough outside any window that clipping hides it, small enough that
// sums and differences of two such values stay exact in int and in double.
constexpr int kFarPixel = 1 << 24;

// Truncation toward zero, clamped to +-kFarPixel; NaN gives -kFarPixel.
inline int TruncToPixel(double value) {
  if (std::isnan(value)) return -kFarPixel;
  if (value >= kFarPixel) return kFarPixel;
  if (value <= -kFarPixel) return -kFarPixel;
  return static_cast<int>(value);
}

// Truncation toward zero into the whole int range (labels); NaN gives 0.
inline int32_t TruncToInt(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return INT32_MAX;
  if (value <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(value);
}

}  // namespace veltra
