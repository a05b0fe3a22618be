#include "plugins/graph/TraceRaster.h"

#include <algorithm>

#include "plugins/graph/PixelMath.h"

namespace veltra {

void TraceRaster::Grow(int width) {
  // Zeroed when grown: a column never drawn has no old span to erase.
  if (static_cast<int>(lo_.size()) < width) {
    lo_.resize(width, 0);
    hi_.resize(width, 0);
    previousLo_.resize(width, 0);
    previousHi_.resize(width, 0);
  }
}

void TraceRaster::ForgetPrevious() {
  std::fill(previousLo_.begin(), previousLo_.end(), 0);
  std::fill(previousHi_.begin(), previousHi_.end(), 0);
  std::fill(lo_.begin(), lo_.end(), 0);
  std::fill(hi_.begin(), hi_.end(), 0);
}

ColumnSpan TraceRaster::SpanOf(int lo, int hi) const {
  return {std::max(height_ - hi, 0), std::min(height_ - lo, height_)};
}

int TraceRaster::UncoveredParts(ColumnSpan before, ColumnSpan now, ColumnSpan parts[2]) {
  if (before.IsEmpty()) return 0;
  if (now.IsEmpty()) {
    parts[0] = before;
    return 1;
  }
  int n = 0;
  if (before.top < now.top) parts[n++] = {before.top, std::min(before.bottom, now.top)};
  if (before.bottom > now.bottom) parts[n++] = {std::max(before.top, now.bottom), before.bottom};
  return n;
}

void TraceRaster::Rasterise(const double* data, long long dataSize, long long first, int count, int width,
                            int height, double physicalMinimum, double physicalSize) {
  if (width < 0) width = 0;
  if (height < 0) height = 0;
  Grow(width);
  lo_.swap(previousLo_);
  hi_.swap(previousHi_);
  // The previous spans are read against the new height; a change of height
  // comes with a full repaint, which forgets them first.
  height_ = height;
  width_ = width;
  std::fill(lo_.begin(), lo_.begin() + width, height);
  std::fill(hi_.begin(), hi_.begin() + width, 0);
  if (count <= 0 || width == 0 || height == 0 || data == nullptr) return;
  // Points k with first + k inside the data, k from 0 to count - 1.
  const int begin = static_cast<int>(std::clamp(-first, 0LL, static_cast<long long>(count)));
  const int end = static_cast<int>(std::clamp(dataSize - first, 0LL, static_cast<long long>(count)));
  if (begin >= end) return;

  const double xs = static_cast<double>(width) / count;
  const double ys = height / physicalSize;
  auto heightOf = [&](int k) { return TruncToPixel((data[first + k] - physicalMinimum) * ys); };
  auto columnOf = [&](int k) { return std::min(TruncToPixel(k * xs), width - 1); };

  int p = columnOf(begin);
  int a = heightOf(begin);
  lo_[p] = std::min(lo_[p], a);
  hi_[p] = std::max(hi_[p], a + 1);
  for (int k = begin + 1; k < end; ++k) {
    const int c = columnOf(k);
    const int b = heightOf(k);
    lo_[c] = std::min(lo_[c], b);
    hi_[c] = std::max(hi_[c], b + 1);
    if (c > p) {
      // Bridge the columns between the two points with the line joining them.
      for (int r = p; r < c; ++r) {
        const int s = a + TruncToPixel(static_cast<double>(b - a) * (r - p + 0.5) / (c - p));
        lo_[r] = std::min(lo_[r], s);
        lo_[r + 1] = std::min(lo_[r + 1], s);
        if (a < b) {
          hi_[r] = std::max(hi_[r], s);
          hi_[r + 1] = std::max(hi_[r + 1], s + 1);
        } else {
          hi_[r] = std::max(hi_[r], s + 1);
          hi_[r + 1] = std::max(hi_[r + 1], s);
        }
      }
    }
    p = c;
    a = b;
  }
}

}  // namespace veltra
