#include "plugins/graph/ScaleTicks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "plugins/graph/PixelMath.h"

namespace veltra {

ScaleTicks::ScaleTicks() {
  ticks_.reserve(kMaxTicks);
}

int ScaleTicks::WidestLabelChars(double minimum, double size) {
  const int64_t top = std::llabs(static_cast<int64_t>(TruncToInt(minimum + size)));
  const int64_t bottom = std::llabs(static_cast<int64_t>(TruncToInt(minimum)));
  char text[32];
  return std::snprintf(text, sizeof text, "%lld", static_cast<long long>(-std::max(top, bottom)));
}

double ScaleTicks::XLabelSpacing(double minimum, double size, int length, int charWidth) {
  return WidestLabelChars(minimum, size) * charWidth * 1.3 * std::fabs(size) / length;
}

double ScaleTicks::YLabelSpacing(double size, int length, int textHeight) {
  return textHeight * 1.8 * std::fabs(size) / length;
}

double ScaleTicks::NiceStep(double spacing) {
  if (!(spacing > 0) || !std::isfinite(spacing)) return 0;
  double e = 0;
  double f = std::modf(std::log10(spacing), &e);
  if (f < 0) {
    e -= 1;
    f += 1;
  }
  double q = std::pow(10.0, f);
  if (q < 2)
    q = 2;
  else if (q < 2.5)
    q = 2.5;
  else if (q < 5)
    q = 5;
  else
    q = 10;
  if (e < -0.5) {
    q = 1;
    e = 0;
  } else if (e < 0.5 && q == 2.5) {
    q = 5;
  }
  return q * std::pow(10.0, e);
}

void ScaleTicks::Compute(double minimum, double size, int length, double spacing) {
  ticks_.clear();
  step_ = 0;
  if (size == 0 || length <= 0 || !std::isfinite(minimum) || !std::isfinite(size)) return;
  double t = NiceStep(spacing);
  if (t == 0 || !std::isfinite(t)) return;
  double first;
  if (size > 0) {
    first = std::ceil(minimum / t - 0.001) * t;
  } else {
    first = std::floor(minimum / t + 0.001) * t;
    t = -t;
  }
  step_ = t;
  for (int k = 0; k < kMaxTicks; ++k) {
    const double value = first + k * t;
    const double offset = (value - minimum) / size * length;
    if (!(offset <= length)) break;
    ticks_.push_back({value, offset, TruncToInt(std::floor(value + 0.5))});
  }
}

}  // namespace veltra
