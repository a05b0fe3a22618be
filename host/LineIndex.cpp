#include "host/LineIndex.h"

#include <new>

namespace veltra {

bool LineIndex::Allocate() {
  try {
    starts_.reset(new int64_t[kLines]);
  } catch (const std::bad_alloc&) {
    return false;
  }
  Fill(0);
  return true;
}

void LineIndex::Fill(int64_t start) {
  for (int i = 0; i < kLines; ++i) starts_[static_cast<size_t>(i)] = start;
}

}  // namespace veltra
