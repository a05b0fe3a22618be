#include "plugins/graph/VideoFilter.h"

namespace veltra {

void ApplyVideoFilter(double* values, int count) {
  if (count <= 8) return;
  // The nine unsmoothed values around point k; the ones left of k have been
  // overwritten in the buffer already.
  double x[9];
  for (int i = 0; i < 9; ++i) x[i] = values[i];
  for (int k = 4; k <= count - 5; ++k) {
    values[k] = 0.3255 * x[4] + 0.2397 * (x[3] + x[5]) + 0.0888 * (x[2] + x[6]) + 0.0129 * (x[1] + x[7]) +
                0.0016 * (x[0] + x[8]);
    if (k + 5 < count) {
      for (int i = 0; i < 8; ++i) x[i] = x[i + 1];
      x[8] = values[k + 5];
    }
  }
}

}  // namespace veltra
