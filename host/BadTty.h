// The terminal's exception: the store or the view could not get its memory.
#pragma once

#include "veltra/ServerError.h"

namespace veltra {

class bad_tty : public ServerError {
 public:
  explicit bad_tty(int code) : code_(code) {}
  const char* what() const override;
  int Code() const { return code_; }

 private:
  int code_;
  // Each object formats its own text, so two threads never share one.
  mutable char text_[40] = {};
};

}  // namespace veltra
