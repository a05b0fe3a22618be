#include "engine/basalt/BasaltStream.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>

namespace veltra {

using namespace basalt;

namespace {

constexpr char kTextEndMark = 0x1A;
constexpr int32_t kRecordEndMark = -1;

// Bytes that may still be transferred of a record: never negative, never
// more than asked for. A position of -1 (after a rewind) means no record.
uint32_t Remaining(int64_t length, int64_t position, uint32_t count) {
  if (position < 0 || length <= position) return 0;
  return static_cast<uint32_t>(std::min<int64_t>(length - position, count));
}

// The first offset at or after from that holds data as the file system keeps
// the file; from itself when it cannot tell, INT64_MAX when nothing follows.
// Bytes in between are a hole and read as zero. The descriptor's offset is
// put back, so the C library's stream stays where it was.
int64_t DataFrom(int fd, int64_t from) {
  off_t here = lseek(fd, 0, SEEK_CUR);
  if (here < 0) return from;
  off_t data = lseek(fd, from, SEEK_DATA);
  int64_t result = data >= 0 ? static_cast<int64_t>(data) : errno == ENXIO ? INT64_MAX : from;
  lseek(fd, here, SEEK_SET);
  return result;
}

// The start of the hole that ends at end: the smallest x with no data in
// [x, end), found by doubling steps and then halving them; end when the byte
// before end holds data (or the file system cannot tell).
int64_t HoleStart(int fd, int64_t end) {
  auto empty = [&](int64_t from) { return DataFrom(fd, from) >= end; };
  if (end <= 0 || !empty(end - 1)) return end;
  int64_t hole = end - 1;  // [hole, end) holds no data
  int64_t data = -1;       // [data, end) holds some; -1: none found yet
  for (int64_t step = 2; hole > 0; step *= 2) {
    int64_t from = std::max<int64_t>(0, end - step);
    if (!empty(from)) {
      data = from;
      break;
    }
    hole = from;
  }
  while (hole - data > 1) {
    int64_t middle = data + (hole - data) / 2;
    (empty(middle) ? hole : data) = middle;
  }
  return hole;
}

}  // namespace

bool BasaltStream::IsRegularFile() const {
  struct stat info;
  return file && fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode);
}

bool BasaltStream::IsCharacterDevice() const {
  struct stat info;
  if (file && fileno(file) < 0) return characterDevice;
  return file && fstat(fileno(file), &info) == 0 && S_ISCHR(info.st_mode);
}

int BasaltStream::TransferResult() {
  if (std::feof(file)) {
    status = 1;
    return kEndOfFile;
  }
  bool failed = std::ferror(file) != 0;
  status = failed ? -432 : -400;
  return failed ? kFailure : kOk;
}

// The C library wants a positioning call between a write and a following
// read, and between a read and a following write. Between two writes or two
// reads it would cost a system call for nothing, on every transfer.
size_t BasaltStream::Put(const void* data, size_t count) {
  if (lastTransfer == kReading) fseeko(file, 0, SEEK_CUR);
  lastTransfer = kWriting;
  return std::fwrite(data, 1, count, file);
}

void BasaltStream::BeforeRead() {
  if (lastTransfer == kWriting) fseeko(file, 0, SEEK_CUR);
  lastTransfer = kReading;
}

size_t BasaltStream::Get(void* out, size_t size, size_t count) {
  BeforeRead();
  return std::fread(out, size, count, file);
}

char* BasaltStream::GetLine(char* out, int size) {
  if (lineSource) return lineSource(out, size) > 0 ? out : nullptr;
  BeforeRead();
  return std::fgets(out, size, file);
}

int BasaltStream::GetChar() {
  BeforeRead();
  return std::fgetc(file);
}

// End marks belong to files. A console stream or a pipe cannot step back
// over one, so it would stay in the output.
bool BasaltStream::EndMarksWanted() const {
  return kind != kConsole && (type == 1 || type == 2 || type == 3) && IsRegularFile();
}

bool BasaltStream::RecordFits(int64_t headerOffset, int64_t length) const {
  struct stat info;
  if (!file || fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) return true;
  return headerOffset + 8 + length <= static_cast<int64_t>(info.st_size);
}

bool BasaltStream::CompleteRecord(int to) {
  if (type == 2) {
    int32_t written = static_cast<int32_t>(position);
    if (Put(&written, 4) != 4) return false;
    // The header also gets the real count when it was given and not kept
    // to, so the file never holds a record whose two length words differ.
    // The header is patched where it was written, so a record that was
    // repositioned in between never gets other data overwritten.
    if (recordLength != written && headerOffset_ >= 0) {
      off_t end = ftello(file);
      if (end < 0 || fseeko(file, headerOffset_, SEEK_SET) != 0) return false;
      lastTransfer = kWriting;
      if (std::fwrite(&written, 4, 1, file) != 1) return false;
      if (fseeko(file, end, SEEK_SET) != 0) return false;
      recordLength = written;
    }
    headerOffset_ = -1;
  } else if (type == 1 || type == 3) {
    if (!noNewline) {
      const char* newline = type == 1 ? "\n" : "\r\n";
      size_t length = std::strlen(newline);
      if (Put(newline, length) != length) return false;
    }
    noNewline = false;
  }
  if (to != kWriting && EndMarksWanted()) {
    if (type == 2) {
      if (Put(&kRecordEndMark, 4) != 4 || fseeko(file, -4, SEEK_CUR) != 0) return false;
    } else {
      if (Put(&kTextEndMark, 1) != 1 || fseeko(file, -1, SEEK_CUR) != 0) return false;
    }
  }
  return true;
}

bool BasaltStream::ChangeDirection(int to) {
  if (!file) return false;
  if (direction == kWriting) {
    if (!CompleteRecord(to)) return false;
  } else if (direction == kReading && type == 2 && recordLength != -1) {
    int64_t skip = static_cast<int64_t>(recordLength) - position + 4;
    if (recordLength < 0 || position < 0 || skip < 0) return false;
    if (fseeko(file, skip, SEEK_CUR) != 0) return false;
  }
  // The C library wants a positioning between reading and writing.
  if (direction != to && direction != kNone && to != kNone) fseeko(file, 0, SEEK_CUR);
  direction = to;
  return true;
}

int BasaltStream::Read(char* out, uint32_t count, uint32_t* transferred) {
  *transferred = 0;
  if (IsCharacterDevice()) {
    if (GetLine(out, static_cast<int>(count) + 1)) *transferred = std::strlen(out);
  } else {
    *transferred = static_cast<uint32_t>(Get(out, 1, count));
  }
  return TransferResult();
}

int BasaltStream::Write(const char* data, uint32_t count, uint32_t* written) {
  *written = static_cast<uint32_t>(Put(data, count));
  if (*written == count) {
    TransferResult();
    return kOk;
  }
  TransferResult();
  if (status >= 0) status = -400;
  return kFailure;
}

bool BasaltStream::EnsureLineBuffer() {
  if (!lineBuffer_) lineBuffer_.reset(new (std::nothrow) char[kLineBufferSize]());
  return lineBuffer_ != nullptr;
}

int BasaltStream::ReadLineRecord(uint32_t control, uint32_t count, char* out, int32_t* lengthWord,
                                 uint32_t* transferred) {
  int result = kOk;
  if (control & kBeginRecord) {
    if (!ChangeDirection(kReading)) return kFailure;
    if (!EnsureLineBuffer()) return kLineBufferMissing;
    position = 0;
    lineLength_ = 0;
    recordLength = 0;
    char* line = lineBuffer_.get();
    if (!GetLine(line, kLineLength + 1)) {
      result = TransferResult();
      if (result == kOk) result = kEndOfFile;
    } else {
      int length = static_cast<int>(std::strlen(line));
      if (length == kLineLength && line[length - 1] != '\n') TakeLineEnd();
      // Only a newline is dropped: a line cut at the buffer's length keeps
      // its last character.
      if (length > 0 && line[length - 1] == '\n') {
        --length;
        if (length > 0 && line[length - 1] == '\r') --length;
      }
      if (line[0] == kTextEndMark) {
        status = 1;
        return kEndOfFile;
      }
      TransferResult();
      lineLength_ = length;
      recordLength = length;
      *lengthWord = length;
    }
  }
  uint32_t available = Remaining(std::min<int64_t>(recordLength, lineLength_), position, count);
  if (available > 0) std::memcpy(out, lineBuffer_.get() + position, available);
  *transferred = available;
  return result;
}

// A line of exactly the record length fills the buffer before its line end
// is read; the line end is taken now, so that it never reads as an empty
// record of its own. Anything else is put back.
void BasaltStream::TakeLineEnd() {
  // A line source cannot put a character back; the line end comes as the
  // next line, as with the service 12 reads of the same input.
  if (lineSource) return;
  off_t mark = ftello(file);
  int c = GetChar();
  if (c == '\n') return;
  if (c == '\r' && mark >= 0 && GetChar() == '\n') return;
  if (c == EOF && !std::ferror(file)) std::clearerr(file);  // the next read meets the end itself
  if (mark >= 0)
    fseeko(file, mark, SEEK_SET);
  else if (c != EOF)
    std::ungetc(c, file);
}

int BasaltStream::BeginNumberedRecord(uint32_t control, int to) {
  uint32_t record = control & kRecordNumberMask;
  // Record numbers count from 1; 0 would seek before the file.
  if (record == 0) return kFailure;
  if (!ChangeDirection(to)) return kFailure;
  int64_t offset = (static_cast<int64_t>(record) - 1) * recordLength;
  if (fseeko(file, offset, SEEK_SET) != 0) return kFailure;
  position = 0;
  return kOk;
}

int BasaltStream::ReadRecord(uint32_t control, uint32_t count, char* out, int32_t* lengthWord,
                             uint32_t* transferred) {
  *lengthWord = 0;
  *transferred = 0;
  bool begin = control & kBeginRecord;
  int result = kOk;
  switch (type) {
    case 1:
    case 3:
      result = ReadLineRecord(control, count, out, lengthWord, transferred);
      if (result == kFailure || result == kLineBufferMissing) return result;
      break;
    case 4:
    case 5: {
      if (begin) {
        if (BeginNumberedRecord(control, kReading) != kOk) return kFailure;
      }
      *lengthWord = recordLength;
      uint32_t wanted = Remaining(recordLength, position, count);
      if (wanted > 0) {
        *transferred = static_cast<uint32_t>(Get(out, 1, wanted));
        result = TransferResult();
      }
      break;
    }
    case 2: {
      if (begin) {
        if (!ChangeDirection(kReading)) return kFailure;
        off_t at = ftello(file);
        int32_t header;
        recordLength = -1;
        position = 0;
        if (Get(&header, 4, 1) != 1) {
          // No whole header: the end of the file, not a record.
          result = TransferResult();
          if (result == kOk) result = kEndOfFile;
          if (at >= 0) fseeko(file, at, SEEK_SET);
          *lengthWord = -1;
          return result;
        }
        if (header == kRecordEndMark) {
          fseeko(file, -4, SEEK_CUR);
          *lengthWord = -1;
          status = 1;
          return kEndOfFile;
        }
        // A negative length, or one that runs past the end of the file,
        // is not a record; the stream stays before it.
        if (header < 0 || !RecordFits(at, header)) {
          fseeko(file, at, SEEK_SET);
          return kFailure;
        }
        recordLength = header;
        *lengthWord = header;
      }
      uint32_t wanted = Remaining(recordLength, position, count);
      if (wanted > 0) {
        *transferred = static_cast<uint32_t>(Get(out, 1, wanted));
        result = TransferResult();
      }
      break;
    }
    default:  // type 0: one transfer per record
      if (begin) {
        if (!ChangeDirection(kReading)) return kFailure;
        recordLength = static_cast<int32_t>(count);
        *lengthWord = recordLength;
        position = 0;
        *transferred = static_cast<uint32_t>(Get(out, 1, count));
        result = TransferResult();
      }
      break;
  }
  // The position must count this transfer before a type 2 record is left,
  // or the skip to its trailer would be wrong.
  position += *transferred;
  if (control & kEndTransfer) {
    if (!ChangeDirection(kNone)) return kFailure;
  }
  return result;
}

int BasaltStream::WriteRecord(uint32_t control, int32_t length, const char* data, uint32_t count) {
  bool begin = control & kBeginRecord;
  if (begin) {
    switch (type) {
      case 1:
      case 3:
        if (!ChangeDirection(kWriting)) return kFailure;
        position = 0;
        if (control & kNoNewline) noNewline = true;
        break;
      case 4:
      case 5:
        if (BeginNumberedRecord(control, kWriting) != kOk) return kFailure;
        break;
      case 2:
        if (!ChangeDirection(kWriting)) return kFailure;
        recordLength = length;
        position = 0;
        headerOffset_ = ftello(file);
        if (Put(&length, 4) != 4) {
          headerOffset_ = -1;
          TransferResult();
          return kFailure;
        }
        break;
      default:
        if (!ChangeDirection(kWriting)) return kFailure;
        recordLength = length;
        position = 0;
        break;
    }
  }
  int result = kOk;
  if (count > 0) {
    uint32_t written = static_cast<uint32_t>(Put(data, count));
    if (position >= 0) position += written;
    TransferResult();
    if (written != count) {
      if (status >= 0) status = -400;
      result = kFailure;
    }
  }
  if (control & kEndTransfer) {
    if (!ChangeDirection(kNone)) return kFailure;
  }
  return result;
}

int BasaltStream::Backspace() {
  if (!ChangeDirection(kNone)) return kFailure;
  if (type == 2) {
    off_t start = ftello(file);
    if (fseeko(file, -4, SEEK_CUR) != 0) {
      std::rewind(file);
      return kFailure;
    }
    int32_t trailer;
    if (Get(&trailer, 4, 1) != 1) {
      std::clearerr(file);
      fseeko(file, start, SEEK_SET);
      return kFailure;
    }
    // A trailer below -1 is not a length; one longer than what lies before
    // it makes the step fail. Either way the stream stays where it was.
    int64_t back = trailer == kRecordEndMark ? 4 : static_cast<int64_t>(trailer) + 8;
    if (trailer < kRecordEndMark || fseeko(file, -back, SEEK_CUR) != 0) {
      fseeko(file, start, SEEK_SET);
      return kFailure;
    }
    position = 0;
    return kOk;
  }
  if (type == 3) {
    // The byte before the stream ends the previous line; that line starts
    // after the newline before it, or at the file's start. The search goes
    // back a block at a time and steps over holes at once, which hold no
    // newline: a sparse file is never read byte by byte.
    // Bytes still in the C library's buffer belong to the file's size.
    std::fflush(file);
    off_t here = ftello(file);
    struct stat info;
    if (here < 1 || fstat(fileno(file), &info) != 0) {
      std::rewind(file);
      return kFailure;
    }
    int64_t size = static_cast<int64_t>(info.st_size);
    // Past the end there is no byte to end a line: the search starts one
    // further back, and finds nothing when that too lies past the end.
    bool ended = here - 1 < size;
    int64_t end = (ended ? here - 2 : here - 3) + 1;  // bytes [0, end) are searched
    // Reaching the start without a newline is the first line, unless not
    // even one byte was there to look at.
    bool looked = ended || end > 0;
    if (end > size) {
      std::rewind(file);
      return kFailure;
    }
    char block[4096];
    while (end > 0) {
      end = HoleStart(fileno(file), end);
      if (end == 0) break;
      int64_t from = std::max<int64_t>(0, end - static_cast<int64_t>(sizeof block));
      size_t length = static_cast<size_t>(end - from);
      if (fseeko(file, from, SEEK_SET) != 0 || Get(block, 1, length) != length) {
        std::clearerr(file);
        std::rewind(file);
        return kFailure;
      }
      if (const void* newline = memrchr(block, '\n', length)) {
        if (fseeko(file, from + (static_cast<const char*>(newline) - block) + 1, SEEK_SET) != 0)
          return kFailure;
        position = 0;
        return kOk;
      }
      end = from;
    }
    std::rewind(file);
    if (!looked) return kFailure;
    position = 0;
    return kOk;
  }
  return kFailure;
}

int BasaltStream::Rewind() {
  if (!ChangeDirection(kNone)) return kFailure;
  std::rewind(file);
  position = -1;
  return kOk;
}

int BasaltStream::EndFile() {
  if (!ChangeDirection(kNone)) return kFailure;
  if (kind == kConsole) return kOk;
  size_t wanted = 0, done = 0;
  if (type == 2) {
    wanted = 4;
    done = Put(&kRecordEndMark, 4);
  } else if (type == 1 || type == 3) {
    wanted = 1;
    done = Put(&kTextEndMark, 1);
  }
  if (done != wanted) {
    TransferResult();
    if (status >= 0) status = -400;
    return kFailure;
  }
  return kOk;
}

int BasaltStream::PositionAtEnd() {
  if (type == 2) {
    struct stat info;
    int64_t size = fstat(fileno(file), &info) == 0 ? static_cast<int64_t>(info.st_size) : 0;
    int64_t at = 0;
    bool corrupt = false;
    if (fseeko(file, 0, SEEK_SET) != 0) return kFailure;
    for (;;) {
      int32_t header;
      if (Get(&header, 4, 1) != 1 || header == kRecordEndMark) break;
      // A length that is negative or runs past the end of the file would
      // send the scan backwards or beyond the data: stop before it.
      if (header < 0 || at + 8 + header > size) {
        corrupt = true;
        break;
      }
      // Zero bytes are records of no length, eight bytes each. A run of
      // them that the file system keeps as a hole is stepped over at once,
      // or a sparse file would be scanned eight bytes at a time.
      int64_t step = static_cast<int64_t>(header) + 8;
      if (header == 0) {
        int64_t zeros = std::min(DataFrom(fileno(file), at), size) - at;
        if (zeros > step) step = zeros / 8 * 8;
      }
      at += step;
      if (fseeko(file, at, SEEK_SET) != 0) break;
    }
    std::clearerr(file);
    if (fseeko(file, at, SEEK_SET) != 0) return kFailure;
    return corrupt ? kFailure : kOk;
  }
  if (fseeko(file, 0, SEEK_END) != 0) return kFailure;
  // A text file that ends in its end mark is appended to before the mark,
  // or the new lines would lie behind it, out of reach of reading.
  if ((type == 1 || type == 3) && ftello(file) > 0 && fseeko(file, -1, SEEK_END) == 0) {
    int c = GetChar();
    std::clearerr(file);
    if (fseeko(file, c == kTextEndMark ? -1 : 0, SEEK_END) != 0) return kFailure;
  }
  return kOk;
}

int BasaltStream::Size(int64_t* size) {
  *size = 0;
  off_t here = ftello(file);
  if (here < 0 || fseeko(file, 0, SEEK_END) != 0) return kFailure;
  off_t end = ftello(file);
  if (fseeko(file, here, SEEK_SET) != 0 || end < 0) return kFailure;
  *size = end;
  return kOk;
}

int BasaltStream::Position(int32_t offset) {
  // A record begun here is completed where it was written, and one being
  // read is left as a whole, before the stream moves: otherwise the next
  // change of direction would finish it at the new offset, over other data.
  if (!ChangeDirection(kNone)) return kFailure;
  if (fseeko(file, offset, SEEK_SET) != 0) {
    status = -400;
    return kFailure;
  }
  status = 0;
  return kOk;
}

}  // namespace veltra
