// One stream of the Basalt cluster: a host file, a temporary file or a
// console stream, with its record format and the state of the record being
// transferred. Everything here works on the C library stream alone, so the
// record formats are exercised without a link.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

namespace veltra {

class FileRoot;

namespace basalt {

// Result codes of the cluster's services.
constexpr int kOk = 0;
constexpr int kEndOfFile = 1;
constexpr int kBadType = 3;
constexpr int kBadAccess = 4;
constexpr int kBadFlags = 5;
constexpr int kBadCount = 6;
constexpr int kBadSelector = 7;
constexpr int kNoStream = 8;
constexpr int kBadDisposition = 9;
constexpr int kNotOnCommandLine = 10;
constexpr int kFailure = 99;
constexpr int kNoMemory = 100;
constexpr int kNotFound = 101;

// Record control word of services 15 and 16.
constexpr uint32_t kBeginRecord = 1u << 31;
constexpr uint32_t kEndTransfer = 1u << 30;
constexpr uint32_t kNoNewline = 1u << 29;
constexpr uint32_t kRecordNumberMask = (1u << 26) - 1;

// Largest transfer of one request, and longest line of the text records.
constexpr uint32_t kTransferSize = 4096;
constexpr int kLineLength = 1024;
constexpr int kLineBufferSize = 1026;

}  // namespace basalt

class BasaltStream {
 public:
  enum Kind { kFile = 0, kTemporary = 1, kConsole = 2 };
  enum Direction { kNone = 0, kReading = 1, kWriting = 2 };
  enum KindBit { kCommandLineBit = 1, kStdinBit = 2, kStdoutBit = 4, kStderrBit = 8 };
  // ReadRecord's answer when the line buffer cannot be had; the cluster
  // turns it into the fatal stop.
  static constexpr int kLineBufferMissing = -1;

  BasaltStream() = default;
  BasaltStream(const BasaltStream&) = delete;
  BasaltStream& operator=(const BasaltStream&) = delete;

  // Changes the transfer direction, completing the record being written or
  // skipping the rest of the one being read. False (direction unchanged) on
  // any failure.
  bool ChangeDirection(int to);

  // Service 12 on a file: one line from a character device, else a block of
  // count bytes (count <= kTransferSize; out holds count + 1 bytes).
  int Read(char* out, uint32_t count, uint32_t* transferred);
  // Writes count bytes; the short count on failure.
  int Write(const char* data, uint32_t count, uint32_t* written);

  // Service 15. out holds kTransferSize bytes; for types 0, 2, 4 and 5 the
  // caller has refused counts above that.
  int ReadRecord(uint32_t control, uint32_t count, char* out, int32_t* lengthWord, uint32_t* transferred);
  // Service 16.
  int WriteRecord(uint32_t control, int32_t length, const char* data, uint32_t count);
  int Backspace();               // service 17
  int Rewind();                  // service 18
  int EndFile();                 // service 19
  int PositionAtEnd();           // service 1, flag bit 1
  int Size(int64_t* size);       // service 8
  int Position(int32_t offset);  // service 14
  bool IsCharacterDevice() const;
  bool IsCommandLine() const { return kindBits & kCommandLineBit; }

  std::FILE* file = nullptr;
  int access = 0;  // 0 read, 1 write, 2 read-write
  bool create = false;
  int type = 0;  // record type 0 to 5
  int kind = kFile;
  int status = 0;
  std::string name;
  // Where the name was resolved: deleting the file on closing resolves it
  // there again, whatever the root is by then.
  std::shared_ptr<FileRoot> root;
  int32_t recordLength = 0;
  // Bytes transferred within the current record; the read offset of the
  // command-line stream; -1 after a rewind (no record begun).
  int64_t position = 0;
  int direction = kNone;
  // The C library's last transfer on file (kNone, kReading or kWriting).
  int lastTransfer = kNone;
  bool noNewline = false;
  bool consoleOutput = false;
  bool consoleInput = false;
  int kindBits = 0;
  // Where a stream without a descriptor of its own (a stoppable pipe) says
  // it is a character device.
  bool characterDevice = false;
  // Reads one line as fgets does, returning its length (0 at the end):
  // console input takes its lines from the server's input route.
  std::function<int(char*, int)> lineSource;

 private:
  bool IsRegularFile() const;
  // Status and result after a transfer through the C library.
  int TransferResult();
  // Writes, positioning first when the last transfer was a read.
  size_t Put(const void* data, size_t count);
  // Reads through the C library, positioning first when the last transfer
  // was a write.
  size_t Get(void* out, size_t size, size_t count);
  char* GetLine(char* out, int size);
  int GetChar();
  void TakeLineEnd();
  void BeforeRead();
  bool CompleteRecord(int to);
  bool EndMarksWanted() const;
  bool RecordFits(int64_t headerOffset, int64_t length) const;
  bool EnsureLineBuffer();
  int ReadLineRecord(uint32_t control, uint32_t count, char* out, int32_t* lengthWord, uint32_t* transferred);
  // Changes direction and seeks to the record numbered in the control word.
  int BeginNumberedRecord(uint32_t control, int to);

  std::unique_ptr<char[]> lineBuffer_;
  int lineLength_ = 0;         // valid characters in the line buffer
  int64_t headerOffset_ = -1;  // of the type 2 record being written
};

}  // namespace veltra
