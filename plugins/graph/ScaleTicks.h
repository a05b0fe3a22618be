// The ticks of one axis: their values, where they lie along the axis and
// their labels. Spacing comes from the widest label the axis can carry,
// raised to a nice step (1, 2, 5 times a power of ten, or 2.5 for steps of
// ten and more); a step is never below 1, because labels are integers.
#pragma once

#include <cstdint>
#include <vector>

namespace veltra {

struct ScaleTick {
  double value = 0;
  double offset = 0;  // pixels from the axis origin along the axis
  int32_t label = 0;  // printed as "%d"
};

class ScaleTicks {
 public:
  static constexpr int kMaxTicks = 1024;

  ScaleTicks();

  // Least spacing of labels in axis units. X: the widest label's characters
  // times 1.3 character widths; Y: 1.8 text heights.
  static double XLabelSpacing(double minimum, double size, int length, int charWidth);
  static double YLabelSpacing(double size, int length, int textHeight);
  // Characters of "%d" printed with the widest label the axis can have,
  // minus sign included.
  static int WidestLabelChars(double minimum, double size);
  // The nice step for a least spacing; 0 when there is none.
  static double NiceStep(double spacing);

  // Ticks of an axis from minimum over size, length pixels long. No ticks
  // when size is 0, length is not positive or a number is not finite.
  void Compute(double minimum, double size, int length, double spacing);

  const std::vector<ScaleTick>& Ticks() const { return ticks_; }
  // Signed: negative on a reversed axis. 0 when there are no ticks.
  double Step() const { return step_; }

 private:
  std::vector<ScaleTick> ticks_;
  double step_ = 0;
};

}  // namespace veltra
