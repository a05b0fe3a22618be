#include "engine/serve/LinkChannel.h"

#include <atomic>
#include <bit>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "veltra/ServerError.h"

namespace veltra {

// Blocks travel as little-endian words; values are copied as they stand.
static_assert(std::endian::native == std::endian::little, "the link protocol is little-endian");

namespace {

// Holds the write semaphore for one block, also when the link throws.
class WriteHold {
 public:
  explicit WriteHold(Semaphore& semaphore) : semaphore_(semaphore) { semaphore_.Wait(); }
  ~WriteHold() { semaphore_.Release(); }
  WriteHold(const WriteHold&) = delete;
  WriteHold& operator=(const WriteHold&) = delete;

 private:
  Semaphore& semaphore_;
};

uint64_t Padded(uint64_t count) {
  return (count + 3) & ~uint64_t{3};
}

}  // namespace

struct LinkChannel::State {
  enum class Direction { Reading = 0, Writing = 1, Idle = 2 };

  ServerContext* context;
  const OptionsRecord* options;
  // Stored by the GUI thread (SetLink), read by a signalling thread.
  std::atomic<Link*> link{nullptr};
  Direction direction = Direction::Idle;
  // Byte offsets into the buffer. Reading: the next byte and the end of the
  // received data; writing: the next byte of the reply (which starts at the
  // second word).
  uint32_t cursor = 0;
  uint32_t end = 0;
  // Taken around every block sent, so a signal never splits a reply.
  Semaphore writeSemaphore{1, 1};
  uint32_t words[kBufferSize / 4];

  uint8_t* Bytes() { return reinterpret_cast<uint8_t*>(words); }
  bool MonLink() const { return options && options->MonLink; }

  void Reset() {
    direction = Direction::Idle;
    cursor = 0;
    end = 0;
  }

  // Ends the run; the channel starts afresh with the next one.
  [[noreturn]] void Fatal(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    Reset();
    char text[128];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (context) context->Fatal("%s", text);
    throw Stop();
  }

  Link* RequireLink() {
    Link* current = link.load();
    if (!current) Fatal("No link to the DSP network");
    return current;
  }

  void FetchBlock() {
    Link* current = RequireLink();
    uint32_t length = 0;
    current->Read(&length, 4);
    if (length == 0 || length > kMaxBlock || length % 4 != 0) {
      if (MonLink() && context) context->Monitor("Bad transfer length: %08x", length);
      Fatal("P5 protocol error: block size %08lX", static_cast<unsigned long>(length));
    }
    current->Read(words, static_cast<int>(length));
    if (MonLink() && context) context->MonitorWords("Link got:", words, length / 4);
    cursor = 0;
    end = length;
    direction = Direction::Reading;
  }

  // Makes the next read start inside a block. A reply that was begun and
  // never sent (its request asked for none) is dropped here.
  void BeginRead() {
    if (direction == Direction::Writing) Reset();
    if (cursor == end) FetchBlock();
  }

  void Take(void* destination, uint32_t count) {
    std::memcpy(destination, Bytes() + cursor, count);
    cursor += count;
  }

  uint32_t ReadWord() {
    BeginRead();
    uint32_t value;
    Take(&value, 4);
    return value;
  }

  // Room for count more reply bytes, starting the reply if needed.
  uint8_t* Reserve(uint64_t count) {
    if (direction != Direction::Writing) {
      direction = Direction::Writing;
      cursor = 4;
      end = 0;
    }
    uint64_t after = cursor + count;
    if (after > kBufferSize)
      Fatal("Reply of %lu bytes is longer than a block (%lu bytes)", static_cast<unsigned long>(after - 4),
            static_cast<unsigned long>(kMaxBlock));
    uint8_t* at = Bytes() + cursor;
    cursor = static_cast<uint32_t>(after);
    return at;
  }

  void SendBlock(Link* target, uint32_t length, const void* data, uint32_t count) {
    WriteHold hold(writeSemaphore);
    target->Write(&length, 4);
    target->Write(data, static_cast<int>(count));
  }
};

LinkChannel::LinkChannel(ServerContext* context, const OptionsRecord* options)
    : state_(std::make_unique<State>()) {
  state_->context = context;
  state_->options = options;
}

LinkChannel::~LinkChannel() = default;

// Only the link changes: the host may call this while a run uses the block
// state, which belongs to the server thread (each run discards it).
void LinkChannel::SetLink(Link* link) {
  state_->link.store(link);
}

Link* LinkChannel::GetLink() const {
  return state_->link.load();
}

void LinkChannel::Discard() {
  state_->Reset();
}

int32_t LinkChannel::ReadWord() {
  return static_cast<int32_t>(state_->ReadWord());
}

uint32_t LinkChannel::ReadUnsigned() {
  return state_->ReadWord();
}

double LinkChannel::ReadDouble() {
  State& s = *state_;
  s.BeginRead();
  if (s.end - s.cursor < 8) s.Fatal("P5 protocol error: double crosses the end of its block");
  double value;
  s.Take(&value, 8);
  return value;
}

uint32_t LinkChannel::ReadBytesBounded(void* destination, uint32_t capacity) {
  State& s = *state_;
  uint32_t count = s.ReadWord();
  // The string must lie wholly inside the block of its count word.
  if (count > s.end - s.cursor)
    s.Fatal("P5 protocol error: byte string of %lu bytes crosses the end of its block",
            static_cast<unsigned long>(count));
  uint32_t copied = !destination ? 0 : count < capacity ? count : capacity;
  if (copied > 0) std::memcpy(destination, s.Bytes() + s.cursor, copied);
  s.cursor += static_cast<uint32_t>(Padded(count));
  return count;
}

uint32_t LinkChannel::ReadBytes(void* destination) {
  // Bounded by the block itself: a string never reaches past its block.
  return ReadBytesBounded(destination, kMaxBlock);
}

void LinkChannel::WriteWord(int32_t value) {
  std::memcpy(state_->Reserve(4), &value, 4);
}

void LinkChannel::WriteUnsigned(uint32_t value) {
  std::memcpy(state_->Reserve(4), &value, 4);
}

void LinkChannel::WriteDouble(double value) {
  std::memcpy(state_->Reserve(8), &value, 8);
}

void LinkChannel::WriteBytes(uint32_t count, const void* source) {
  uint8_t* at = state_->Reserve(4 + Padded(count));
  std::memcpy(at, &count, 4);
  if (count > 0) std::memcpy(at + 4, source, count);
  std::memset(at + 4 + count, 0, static_cast<size_t>(Padded(count) - count));
}

void LinkChannel::Flush() {
  State& s = *state_;
  if (s.direction == State::Direction::Writing && s.cursor > 4) {
    uint32_t length = s.cursor - 4;
    if (s.MonLink() && s.context) s.context->MonitorWords("Link put:", s.words + 1, length / 4);
    Link* target = s.RequireLink();
    s.Reset();
    s.SendBlock(target, length, s.words + 1, length);
    return;
  }
  s.Reset();
}

void LinkChannel::Signal(uint32_t mask) {
  State& s = *state_;
  Link* target = s.link.load();
  if (!target) return;
  if (s.MonLink() && s.context) {
    uint32_t words[2] = {kSignalLength, mask};
    s.context->MonitorWords("Link signal:", words, 2);
  }
  s.SendBlock(target, kSignalLength, &mask, 4);
}

void LinkChannel::WriteFramed(const void* bytes, int count) {
  Link* target = state_->link.load();
  if (!target) return;
  WriteHold hold(state_->writeSemaphore);
  target->Write(bytes, count);
}

void LinkChannel::SignalSemaphore(int n) {
  // Semaphores are the bits of one word; other numbers name none.
  if (n < 0 || n > 31) return;
  Signal(uint32_t{1} << n);
}

int LinkChannel::QueryDriverVersion(int) {
  Link* target = state_->link.load();
  if (!target) return 0;
  char name[128] = {};
  int major = 0;
  int minor = 0;
  return target->DriverVersion(name, &major, &minor);
}

int LinkChannel::BeginLinkSync() {
  Link* target = state_->link.load();
  return target ? target->Control(1, static_cast<int>(kBufferSize)) : 0;
}

int LinkChannel::EndLinkSync() {
  Link* target = state_->link.load();
  return target ? target->Control(2, 0) : 0;
}

}  // namespace veltra
