#include "plugins/spectrel/plot/NumberReader.h"

#include <cctype>
#include <charconv>

namespace veltra {

void NumberReader::Add(const char* text, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    char c = text[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      if (!partial_.empty()) Word(partial_);
      partial_.clear();
    } else {
      partial_ += c;
    }
  }
}

void NumberReader::Finish() {
  if (!partial_.empty()) Word(partial_);
  partial_.clear();
  if (count_ == 0 && !current_.empty()) {
    sets_.push_back(std::move(current_));
    current_.clear();
  }
}

std::vector<double> NumberReader::TakeSet() {
  std::vector<double> set = std::move(sets_.front());
  sets_.erase(sets_.begin());
  return set;
}

void NumberReader::Word(const std::string& word) {
  double value = 0;
  // from_chars reads a decimal point whatever the locale.
  const char* begin = word.data();
  if (*begin == '+') ++begin;
  auto [end, error] = std::from_chars(begin, word.data() + word.size(), value);
  if (error != std::errc() || end != word.data() + word.size()) {
    ++rejected_;
    return;
  }
  current_.push_back(value);
  if (count_ != 0 && current_.size() == count_) {
    sets_.push_back(std::move(current_));
    current_.clear();
  }
}

}  // namespace veltra
