// The video filter: a symmetric 9-tap smoothing of the displayed trace.
#pragma once

namespace veltra {

// Smooths points 4 to count - 5 in place, each from the unsmoothed values
// around it; the first and last four stay as they are, and a set of 8 points
// or fewer is left alone. The taps sum to 1.0115, so the smoothed trace lies
// about 1 % higher, as users of the display are used to.
void ApplyVideoFilter(double* values, int count);

}  // namespace veltra
