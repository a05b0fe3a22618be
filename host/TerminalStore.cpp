#include "host/TerminalStore.h"

namespace veltra {

bool TerminalStore::Allocate() {
  if (!ring_.Allocate() || !index_.Allocate()) {
    Free();
    return false;
  }
  Clear();
  return true;
}

void TerminalStore::Free() {
  ring_.Free();
  index_.Free();
}

void TerminalStore::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  ClearLocked(1, kFirstLine);
}

void TerminalStore::ClearAt(int64_t position, int64_t line) {
  std::lock_guard<std::mutex> lock(mutex_);
  ClearLocked(position, line);
}

void TerminalStore::ClearLocked(int64_t position, int64_t line) {
  ring_.At(position - 1) = '\0';
  ring_.At(position) = '\0';
  p_ = position;
  index_.Fill(position - 1);
  c_ = line;
  index_.Start(c_) = position;
  repaintAll_ = false;
  changed_ = true;
  newLines_ = kAllLinesNew;
  lineEnded_ = true;
}

void TerminalStore::Write(const char* text) {
  if (!text) return;
  std::lock_guard<std::mutex> lock(mutex_);
  for (const char* ch = text; *ch; ++ch) Store(*ch);
}

void TerminalStore::EndLineIfChanged() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (changed_) EndLine();
}

void TerminalStore::EndLineIfChangedOrUnfinished() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (changed_ || CurrentColumn() > 0) EndLine();
}

void TerminalStore::Store(char ch) {
  if (ch == '\n') {
    EndLine();
    return;
  }
  int64_t column = CurrentColumn();
  if (column >= kLineLength) {
    EndLine();
    column = 0;
  }
  if (ch == '\t') {
    int64_t stop = column + (kTabWidth - column % kTabWidth);
    if (stop >= kLineLength) {
      EndLine();
      return;
    }
    for (int64_t n = (kTabWidth - 1) - column % kTabWidth; n > 0; --n) Store(' ');
    Store(' ');
    return;
  }
  PutChar(ch);
}

void TerminalStore::PutChar(char ch) {
  ring_.At(p_) = ch;
  ++p_;
  ring_.At(p_) = '\0';
  changed_ = true;
}

void TerminalStore::EndLine() {
  ++c_;
  index_.Start(c_) = p_ + 1;
  ++newLines_;
  // The NUL at the old position stays as the ended line's terminator.
  ++p_;
  ring_.At(p_) = '\0';
  changed_ = true;
  lineEnded_ = true;
}

TerminalStore::Update TerminalStore::TakeUpdate() {
  std::lock_guard<std::mutex> lock(mutex_);
  Update update{changed_, newLines_, c_};
  newLines_ = 0;
  changed_ = false;
  return update;
}

bool TerminalStore::IsReadable(int64_t line) const {
  return line <= c_ && c_ - line < LineIndex::kLines && p_ - index_.Start(line) < TextRing::kSize;
}

bool TerminalStore::CopyLine(int64_t line, char* out) const {
  if (!IsReadable(line)) {
    out[0] = '\0';
    return false;
  }
  ring_.CopyText(index_.Start(line), out, kLineLength + 1);
  return true;
}

}  // namespace veltra
