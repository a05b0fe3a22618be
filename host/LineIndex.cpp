#include "host/LineIndex.h"

#include <new>

namespace veltra {

bool LineIndex::Allocate() {
  starts_.reset(new (std::nothrow) int64_t[kLines]);
  if (starts_) Fill(0);
  return starts_ != nullptr;
}

void LineIndex::Fill(int64_t start) {
  for (int i = 0; i < kLines; ++i) starts_[static_cast<size_t>(i)] = start;
}

}  // namespace veltra
