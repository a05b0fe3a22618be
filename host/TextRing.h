// The terminal's characters: a fixed ring of 100000 bytes, allocated once.
// The byte of position p lies at p mod 100000. Positions are 64-bit, so a
// long-running application can never wrap them.
#pragma once

#include <cstdint>
#include <memory>

namespace veltra {

class TextRing {
 public:
  static constexpr int kSize = 100000;

  // False when the memory could not be had; the ring is then unusable.
  bool Allocate();
  void Free() { bytes_.reset(); }
  bool IsAllocated() const { return bytes_ != nullptr; }

  char& At(int64_t position) { return bytes_[static_cast<size_t>(position % kSize)]; }
  char At(int64_t position) const { return bytes_[static_cast<size_t>(position % kSize)]; }

  // Copies the NUL-terminated text that starts at position into out, wrapping
  // from the end of the ring to its start, up to and including the NUL or
  // until outSize - 1 characters were copied. Returns the length copied.
  int CopyText(int64_t position, char* out, int outSize) const;

 private:
  std::unique_ptr<char[]> bytes_;
};

}  // namespace veltra
