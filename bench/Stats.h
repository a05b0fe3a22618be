// What a figure's repeated measurements say: the median, the range in which
// the true median lies with 95% confidence (from the order statistics, so no
// assumption about the shape of the noise), and the extremes.
#pragma once

#include <vector>

namespace veltra::bench {

struct Spread {
  double median = 0;
  double low = 0;  // the 95% interval of the median
  double high = 0;
  double min = 0;
  double max = 0;
};

double Median(std::vector<double> values);
Spread Summarise(std::vector<double> values);

}  // namespace veltra::bench
