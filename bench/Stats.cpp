#include "bench/Stats.h"

#include <algorithm>
#include <cmath>

namespace veltra::bench {

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

Spread Summarise(std::vector<double> values) {
  Spread spread;
  if (values.empty()) return spread;
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  spread.median = Median(values);
  spread.min = values.front();
  spread.max = values.back();
  // The k-th smallest and the k-th largest value miss the true median only
  // when fewer than k of the n values fall on one side of it: a binomial tail
  // with p = 1/2. The largest k whose two tails stay within 5% (15 values:
  // the 4th and the 12th, 96.5%; fewer than 6: the whole range).
  size_t k = 0;
  double tail = 0;
  double term = std::pow(0.5, static_cast<double>(n));  // C(n, 0) / 2^n
  for (size_t i = 0; i < n / 2; ++i) {
    tail += term;
    if (2 * tail > 0.05) break;
    k = i + 1;
    term = term * static_cast<double>(n - i) / static_cast<double>(i + 1);
  }
  spread.low = k == 0 ? values.front() : values[k - 1];
  spread.high = k == 0 ? values.back() : values[n - k];
  return spread;
}

}  // namespace veltra::bench
