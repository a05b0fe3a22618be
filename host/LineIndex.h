// Where each of the last 500 terminal lines starts in the text ring. The
// start of line L lies at L mod 500.
#pragma once

#include <cstdint>
#include <memory>

namespace veltra {

class LineIndex {
 public:
  static constexpr int kLines = 500;

  bool Allocate();
  void Free() { starts_.reset(); }
  bool IsAllocated() const { return starts_ != nullptr; }

  int64_t& Start(int64_t line) { return starts_[static_cast<size_t>(line % kLines)]; }
  int64_t Start(int64_t line) const { return starts_[static_cast<size_t>(line % kLines)]; }
  void Fill(int64_t start);

 private:
  std::unique_ptr<int64_t[]> starts_;
};

}  // namespace veltra
