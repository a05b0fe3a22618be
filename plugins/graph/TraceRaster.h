// The trace of one data set as vertical spans, one per plot column: the
// lowest and highest height any point or connecting line reaches in that
// column. Consecutive columns always touch, so the trace is one connected
// line however many or few points there are per column. The spans of the
// trace drawn before are kept, so that a redraw erases only what the new
// trace no longer covers.
#pragma once

#include <vector>

namespace veltra {

// Rows of one column, counted from the plot's top row: top inside, bottom
// outside; empty when bottom <= top.
struct ColumnSpan {
  int top = 0;
  int bottom = 0;
  bool IsEmpty() const { return bottom <= top; }
};

class TraceRaster {
 public:
  // Spans for `count` points spread over `width` columns and `height` rows,
  // point k being data[first + k]. Only points inside the data (dataSize
  // values) are drawn, each at its own column; the trace runs from the
  // first of them. The previous spans become those of the trace before.
  // Nothing when count is 0.
  void Rasterise(const double* data, long long dataSize, long long first, int count, int width, int height,
                 double physicalMinimum, double physicalSize);

  int Width() const { return width_; }
  int Height() const { return height_; }
  // Heights in pixels above the plot's bottom edge: lowest, and one above
  // the highest.
  int Lo(int column) const { return lo_[column]; }
  int Hi(int column) const { return hi_[column]; }
  // The rows the trace covers in a column, cut at the plot's edges.
  ColumnSpan Span(int column) const { return SpanOf(lo_[column], hi_[column]); }
  ColumnSpan PreviousSpan(int column) const { return SpanOf(previousLo_[column], previousHi_[column]); }
  // Nothing was drawn before: after the plot was cleared.
  void ForgetPrevious();

  // Parts of the old span that the new one does not cover, at most two;
  // returns how many were written to parts.
  static int UncoveredParts(ColumnSpan before, ColumnSpan now, ColumnSpan parts[2]);

 private:
  ColumnSpan SpanOf(int lo, int hi) const;
  void Grow(int width);

  std::vector<int> lo_;
  std::vector<int> hi_;
  std::vector<int> previousLo_;
  std::vector<int> previousHi_;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace veltra
