// Numbers from a stream of text as they arrive: whitespace separated (the
// files "Save to file" writes end their lines with "\n\r", which is
// whitespace too), cut into data sets of a fixed count.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace veltra {

class NumberReader {
 public:
  // count 0: one data set of everything, complete at the end of the input.
  explicit NumberReader(std::size_t count) : count_(count) {}

  // Text that arrived; a number cut at the end waits for the rest.
  void Add(const char* text, std::size_t size);
  // No more text: the last number, and with count 0 the data set, complete.
  void Finish();

  // Complete data sets not taken yet, oldest first.
  bool HasSet() const { return !sets_.empty(); }
  std::vector<double> TakeSet();
  // Words that were not numbers, so far.
  std::size_t Rejected() const { return rejected_; }

 private:
  void Word(const std::string& word);

  std::size_t count_;
  std::string partial_;
  std::vector<double> current_;
  std::vector<std::vector<double>> sets_;
  std::size_t rejected_ = 0;
};

}  // namespace veltra
