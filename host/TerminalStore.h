// The terminal's text: what the application wrote, kept as the last lines
// that fit in a TextRing and a LineIndex, with the counters the view follows.
// Written on the server thread, read on the GUI thread, both under Mutex().
//
// Each line is its characters and a NUL; a line holds at most 199 characters,
// a tab moves to the next multiple of 5 columns, and line C (the current,
// unfinished one) is always ended by the NUL at the write position P. Storing
// never allocates.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "host/LineIndex.h"
#include "host/TextRing.h"

namespace veltra {

class TerminalStore {
 public:
  static constexpr int kLineLength = 199;
  static constexpr int kTabWidth = 5;
  static constexpr int64_t kFirstLine = 500;  // so that C - 499 is never negative
  static constexpr int64_t kAllLinesNew = 2147483647;

  // Allocates the ring and the index once; false (nothing kept) when either
  // allocation fails. The store is cleared afterwards.
  bool Allocate();
  void Free();

  // Each takes the lock.
  void Clear();
  void Write(const char* text);
  void EndLineIfChanged();
  // Ends the current line when text arrived since the last display update, or
  // when it holds characters: at the end of a run its last line must be
  // drawn even when no line end follows.
  void EndLineIfChangedOrUnfinished();

  // What a display update takes and resets (takes the lock).
  struct Update {
    bool changed = false;
    int64_t newLines = 0;
    // The current line when the update was taken: what the view shows
    // until its next update, whatever is written meanwhile.
    int64_t currentLine = 0;
  };
  Update TakeUpdate();
  // The timer tick's question: was a line ended since the last tick? Clears it.
  bool TakeLineEnded() { return lineEnded_.exchange(false); }
  bool TakeRepaintAll() { return repaintAll_.exchange(false); }
  void SetRepaintAll() { repaintAll_ = true; }

  // Guards the ring, the index and every counter below between the server
  // thread (Write) and the GUI thread (updates, painting, Clear).
  std::mutex& Mutex() { return mutex_; }

  // The following read without taking the lock: the caller holds Mutex().
  int64_t CurrentLine() const { return c_; }
  int64_t WritePosition() const { return p_; }
  // Whether line L can still be read: among the last 500 and not overwritten.
  bool IsReadable(int64_t line) const;
  // Copies line L into out (at least kLineLength + 1 bytes); false when gone.
  bool CopyLine(int64_t line, char* out) const;
  // The characters of the current, unfinished line.
  int64_t CurrentColumn() const { return p_ - index_.Start(c_); }

  // Starts the store further along, as after very long output: tests use it.
  void ClearAt(int64_t position, int64_t line);

 private:
  void ClearLocked(int64_t position, int64_t line);
  void Store(char ch);
  void PutChar(char ch);
  void EndLine();

  TextRing ring_;
  LineIndex index_;
  std::mutex mutex_;
  int64_t p_ = 1;
  int64_t c_ = kFirstLine;
  int64_t newLines_ = 0;
  bool changed_ = false;
  std::atomic<bool> repaintAll_{false};
  std::atomic<bool> lineEnded_{false};
};

}  // namespace veltra
