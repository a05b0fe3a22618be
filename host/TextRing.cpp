#include "host/TextRing.h"

#include <cstring>
#include <new>

namespace veltra {

bool TextRing::Allocate() {
  try {
    bytes_.reset(new char[kSize]);
  } catch (const std::bad_alloc&) {
    return false;
  }
  std::memset(bytes_.get(), 0, kSize);
  return true;
}

int TextRing::CopyText(int64_t position, char* out, int outSize) const {
  if (outSize <= 0) return 0;
  int length = 0;
  size_t at = static_cast<size_t>(position % kSize);
  while (length < outSize - 1) {
    char ch = bytes_[at];
    if (ch == '\0') break;
    out[length++] = ch;
    if (++at == kSize) at = 0;
  }
  out[length] = '\0';
  return length;
}

}  // namespace veltra
