#include "engine/basalt/BasaltCluster.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <string>
#include <vector>

#include "engine/basalt/BasaltStream.h"
#include "engine/basalt/FileRoot.h"
#include "engine/serve/ServerContextImpl.h"
#include "veltra/RequestChannel.h"
#include "veltra/ServerContext.h"
#include "veltra/ServerError.h"

extern char** environ;

namespace veltra {

using namespace basalt;

namespace {

constexpr size_t kTableGrowth = 10;
constexpr int32_t kConsoleRecordLength = 1024;
constexpr std::chrono::milliseconds kReaderRetry{20};

bool IsBinaryType(int type) {
  return type == 0 || type == 2 || type == 4 || type == 5;
}

// The open(2) flags of a C library mode "r", "r+", "w" or "w+" (with or
// without "b").
int OpenFlags(const char* mode) {
  bool update = std::strchr(mode, '+') != nullptr;
  if (mode[0] == 'r') return update ? O_RDWR : O_RDONLY;
  return (update ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC;
}

const char* OpenMode(int type, int access, bool create) {
  bool text = type == 1;
  switch (access) {
    case 0:
      return text ? "r" : "rb";
    case 1:
      return create ? (text ? "w" : "wb") : (text ? "r+" : "r+b");
    default:
      return create ? (text ? "w+" : "w+b") : (text ? "r+" : "r+b");
  }
}

// As system(3), but a halt of the run ends the wait, and with it the command
// and everything it started (its own process group).
int RunHostCommand(const char* command, const StopEvent& stop) {
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigset_t all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
  char shell[] = "sh";
  char option[] = "-c";
  char* argv[] = {shell, option, const_cast<char*>(command), nullptr};
  // The command gets the standard streams and nothing else of the server.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  pid_t pid = -1;
  int error = posix_spawn(&pid, "/bin/sh", &actions, &attributes, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) return -1;
  int handle = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  if (handle >= 0) {
    bool ended = stop.WaitReady(handle, POLLIN);
    close(handle);
    // Killed while the shell is unreaped, so its number still names its group.
    if (!ended) kill(-pid, SIGKILL);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return status;
}

}  // namespace

struct BasaltCluster::Impl {
  using Handler = int (Impl::*)();
  static const std::array<Handler, 40> kHandlers;

  explicit Impl(BasaltCluster& owner) : owner(owner) {}
  ~Impl();

  RequestChannel& Channel() { return *owner.channel; }
  ServerContext& Context() { return *owner.context; }
  int32_t Word() { return Channel().ReadWord(); }
  uint32_t Unsigned() { return Channel().ReadUnsigned(); }
  void Reply(int32_t word) { Channel().WriteWord(word); }
  void ReplyBytes(uint32_t count, const void* bytes) { Channel().WriteBytes(count, bytes); }
  void ReplyNoBytes() { Channel().WriteBytes(0, data); }

  // Reads a counted string into a buffer of kTransferSize + 1 bytes and
  // terminates it. False when the string was longer than kTransferSize (its
  // excess is skipped, so the request stays in step).
  bool ReadString(char* buffer, uint32_t* length = nullptr) {
    uint32_t count = Channel().ReadBytesBounded(buffer, kTransferSize);
    uint32_t kept = std::min(count, kTransferSize);
    buffer[kept] = '\0';
    if (length) *length = kept;
    return count <= kTransferSize;
  }

  BasaltStream* Find(int32_t handle) {
    if (handle < 0 || static_cast<size_t>(handle) >= streams.size()) return nullptr;
    return streams[static_cast<size_t>(handle)].get();
  }

  // Puts the stream at the lowest free index, growing the table by ten
  // entries when none is free. -1 when there is no memory for it.
  int32_t Allocate(std::unique_ptr<BasaltStream> stream) {
    try {
      auto slot = std::find(streams.begin(), streams.end(), nullptr);
      if (slot == streams.end()) {
        size_t first = streams.size();
        streams.resize(first + kTableGrowth);
        slot = streams.begin() + static_cast<long>(first);
      }
      *slot = std::move(stream);
      return static_cast<int32_t>(slot - streams.begin());
    } catch (const std::bad_alloc&) {
      return -1;
    }
  }

  void Release(int32_t handle) { streams[static_cast<size_t>(handle)].reset(); }

  // Opens the stream's file and gives it a handle; the reply is the handle
  // or -1.
  int Install(std::unique_ptr<BasaltStream> stream, int result = kOk) {
    int32_t handle = Allocate(std::move(stream));
    if (handle < 0) {
      Reply(-1);
      return kNoMemory;
    }
    Reply(handle);
    return result;
  }

  const OptionsRecord* Options() { return static_cast<ServerContextImpl&>(Context()).Options(); }
  const StopEvent& Halting() { return static_cast<ServerContextImpl&>(Context()).Halting(); }

  // Opens as open(2) would, but a named pipe never keeps the server waiting
  // beyond the run: the descriptor comes back non-blocking.
  FileRoot::Outcome OpenWithoutWaiting(FileRoot& root, const char* path, int flags, int* descriptor) {
    for (;;) {
      FileRoot::Outcome outcome = root.Open(path, flags | O_NONBLOCK, descriptor);
      // A named pipe without a reader refuses a non-blocking writer: wait
      // for one as a blocking open would, until the run is stopped.
      if (outcome != FileRoot::Outcome::Failed || errno != ENXIO) return outcome;
      int error = errno;
      if (!Halting().Sleep(kReaderRetry)) {
        errno = error;
        return outcome;
      }
    }
  }

  // The file root of the options as they stand now; made again when they
  // name another one.
  FileRoot& Root() {
    const OptionsRecord* options = Options();
    const char* wanted = options ? options->FileRoot : "";
    size_t length = strnlen(wanted, sizeof options->FileRoot);
    if (!fileRoot || fileRoot->Root().compare(0, std::string::npos, wanted, length) != 0)
      fileRoot = std::make_shared<FileRoot>(std::string(wanted, length));
    return *fileRoot;
  }

  // The answer of a file operation: Outside is refused like a failure, and
  // said in a monitor line.
  bool Allowed(FileRoot::Outcome outcome, const FileRoot& root, const char* name) {
    if (outcome != FileRoot::Outcome::Outside) return outcome == FileRoot::Outcome::Done;
    const OptionsRecord* options = Options();
    if (options && options->MonGeneral) {
      if (!root.Usable())
        Context().Monitor("File root %s cannot be used (%s); refused %s", root.Root().c_str(),
                          std::strerror(root.RootError()), name);
      else
        Context().Monitor("Refused %s: outside the file root %s", name, root.Root().c_str());
    }
    return false;
  }

  const char* CommandLineText() {
    const char* text = Context().CommandLine();
    return text ? text : "";
  }

  int OpenFile();       // 1
  int OpenTemporary();  // 2
  // Reads the selector of services 3 and 4 (0 or 1) and makes a type 1
  // console stream; for another selector replies -1 and makes none.
  std::unique_ptr<BasaltStream> NewConsoleStream(int access, int32_t* selector);
  int OpenConsoleInput();   // 3
  int OpenConsoleOutput();  // 4
  int RecordType();         // 5
  int Status();             // 6
  int StreamName();         // 7
  int FileSize();           // 8
  int DeviceShape();        // 9
  int Close();              // 11
  int Read();               // 12
  int Write();              // 13
  int Position();           // 14
  int ReadRecord();         // 15
  int WriteRecord();        // 16
  int Backspace();          // 17
  int Rewind();             // 18
  int EndFile();            // 19
  int FileExists();         // 21
  int FileReadable();       // 22
  int StreamKind();         // 23
  int ExitTask();           // 24
  int ExitStatus();         // 25
  int HostCommand();        // 26
  int Rename();             // 27
  int Time();               // 28
  int Refused();            // 29, 32, 33
  int ReadServerMemory();   // 30
  int WriteServerMemory();  // 31
  int RefusedWithWord();    // 34
  int Environment();        // 35
  int PortIn();             // 36
  int PortOut();            // 37
  int SetTaskCount();       // 38
  int SetInputTitle();      // 39
  bool CanRead(const char* path);

  // The stream of a record service, or the result refusing it.
  int RecordStream(int32_t handle, BasaltStream** stream) {
    *stream = Find(handle);
    if (!*stream) return kNoStream;
    if ((*stream)->IsCommandLine()) return kNotOnCommandLine;
    return kOk;
  }

  BasaltCluster& owner;
  std::vector<std::unique_ptr<BasaltStream>> streams;
  std::shared_ptr<FileRoot> fileRoot;
  int taskCount = 0;
  char name[kTransferSize + 1];
  char otherName[kTransferSize + 1];
  char data[kTransferSize + 1];
};

const std::array<BasaltCluster::Impl::Handler, 40> BasaltCluster::Impl::kHandlers = {
    nullptr,
    &Impl::OpenFile,
    &Impl::OpenTemporary,
    &Impl::OpenConsoleInput,
    &Impl::OpenConsoleOutput,
    &Impl::RecordType,
    &Impl::Status,
    &Impl::StreamName,
    &Impl::FileSize,
    &Impl::DeviceShape,
    nullptr,
    &Impl::Close,
    &Impl::Read,
    &Impl::Write,
    &Impl::Position,
    &Impl::ReadRecord,
    &Impl::WriteRecord,
    &Impl::Backspace,
    &Impl::Rewind,
    &Impl::EndFile,
    nullptr,
    &Impl::FileExists,
    &Impl::FileReadable,
    &Impl::StreamKind,
    &Impl::ExitTask,
    &Impl::ExitStatus,
    &Impl::HostCommand,
    &Impl::Rename,
    &Impl::Time,
    &Impl::Refused,
    &Impl::ReadServerMemory,
    &Impl::WriteServerMemory,
    &Impl::Refused,
    &Impl::Refused,
    &Impl::RefusedWithWord,
    &Impl::Environment,
    &Impl::PortIn,
    &Impl::PortOut,
    &Impl::SetTaskCount,
    &Impl::SetInputTitle,
};

BasaltCluster::Impl::~Impl() {
  // Records being written are completed so no data is lost with the run.
  // Console streams carry the process's own standard streams: those stay
  // open. Temporary files are closed but not deleted.
  for (auto& stream : streams) {
    if (!stream || !stream->file) continue;
    if (stream->kind == BasaltStream::kConsole) {
      if (stream->direction == BasaltStream::kWriting) stream->ChangeDirection(BasaltStream::kNone);
      continue;
    }
    stream->ChangeDirection(BasaltStream::kNone);
    std::fclose(stream->file);
    stream->file = nullptr;
  }
}

int BasaltCluster::Impl::OpenFile() {
  bool fits = ReadString(name);
  int32_t type = Word();
  int32_t access = Word();
  int32_t flags = Word();
  int32_t recordLength = Word();
  int refusal = kOk;
  if (type < 0 || type > 5)
    refusal = kBadType;
  else if (access < 0 || access > 2)
    refusal = kBadAccess;
  else if (flags < 0 || flags > 7)
    refusal = kBadFlags;
  else if (!fits)
    refusal = kFailure;
  if (refusal != kOk) {
    Reply(-1);
    return refusal;
  }
  auto stream = std::make_unique<BasaltStream>();
  stream->type = type;
  stream->access = access;
  stream->create = flags & 1;
  stream->kind = BasaltStream::kFile;
  stream->recordLength = recordLength;
  stream->name = name;
  const char* mode = OpenMode(type, access, stream->create);
  FileRoot& root = Root();
  int descriptor = -1;
  if (Allowed(OpenWithoutWaiting(root, name, OpenFlags(mode), &descriptor), root, name)) {
    struct stat info;
    if (fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode)) {
      fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
      stream->file = fdopen(descriptor, mode);
    } else {
      // A pipe, terminal or socket may keep a transfer waiting: the run's
      // stop ends it.
      stream->file = Halting().StoppableStream(descriptor, mode);
      stream->characterDevice = S_ISCHR(info.st_mode);
    }
    if (!stream->file) close(descriptor);
  }
  if (!stream->file) {
    Reply(-1);
    return kFailure;
  }
  stream->root = fileRoot;
  int result = (flags & 2) ? stream->PositionAtEnd() : kOk;
  std::FILE* file = stream->file;
  int installed = Install(std::move(stream), result);
  if (installed == kNoMemory) std::fclose(file);
  return installed;
}

int BasaltCluster::Impl::OpenTemporary() {
  int32_t type = Word();
  int32_t recordLength = Word();
  if (type < 0 || type > 5) {
    Reply(-1);
    return kBadType;
  }
  // The name is made and the file created in one step, so no other process
  // can take the name in between. Under a file root it is made there.
  FileRoot& root = Root();
  std::string path;
  int descriptor = -1;
  if (!Allowed(root.CreateTemporary(&descriptor, &path), root, "a temporary file")) {
    Reply(-1);
    return kFailure;
  }
  std::FILE* file = fdopen(descriptor, type == 1 ? "w+" : "w+b");
  if (!file) {
    close(descriptor);
    root.Remove(path.c_str());
    Reply(-1);
    return kFailure;
  }
  auto stream = std::make_unique<BasaltStream>();
  stream->file = file;
  stream->type = type;
  stream->access = 2;
  stream->create = true;
  stream->kind = BasaltStream::kTemporary;
  stream->recordLength = recordLength;
  stream->name = path;
  stream->root = fileRoot;
  int result = Install(std::move(stream));
  if (result == kNoMemory) {
    std::fclose(file);
    root.Remove(path.c_str());
  }
  return result;
}

std::unique_ptr<BasaltStream> BasaltCluster::Impl::NewConsoleStream(int access, int32_t* selector) {
  *selector = Word();
  if (*selector != 0 && *selector != 1) {
    Reply(-1);
    return nullptr;
  }
  auto stream = std::make_unique<BasaltStream>();
  stream->type = 1;
  stream->access = access;
  stream->kind = BasaltStream::kConsole;
  return stream;
}

int BasaltCluster::Impl::OpenConsoleInput() {
  int32_t selector = 0;
  auto stream = NewConsoleStream(0, &selector);
  if (!stream) return kBadSelector;
  if (selector == 0) {
    stream->file = stdin;
    stream->recordLength = kConsoleRecordLength;
    stream->consoleInput = true;
    // Lines come where service 12 takes them from, in one order: the
    // host's stoppable reader or the run's input file.
    stream->lineSource = [this](char* out, int size) { return Context().ReadLine(out, size); };
    stream->kindBits = BasaltStream::kStdinBit;
  } else {
    stream->kindBits = BasaltStream::kCommandLineBit;
  }
  return Install(std::move(stream));
}

int BasaltCluster::Impl::OpenConsoleOutput() {
  int32_t selector = 0;
  auto stream = NewConsoleStream(1, &selector);
  if (!stream) return kBadSelector;
  stream->consoleOutput = true;
  if (selector == 0) {
    stream->file = stdout;
    stream->recordLength = kConsoleRecordLength;
    stream->kindBits = BasaltStream::kStdoutBit;
  } else {
    stream->file = stderr;
    stream->kindBits = BasaltStream::kStderrBit;
  }
  return Install(std::move(stream));
}

int BasaltCluster::Impl::RecordType() {
  BasaltStream* stream = Find(Word());
  if (!stream) {
    Reply(0);
    return kNoStream;
  }
  Reply(stream->IsCommandLine() ? 1 : stream->type);
  return kOk;
}

int BasaltCluster::Impl::Status() {
  BasaltStream* stream = Find(Word());
  if (!stream) return kNoStream;
  if (stream->IsCommandLine())
    return stream->position >= static_cast<int64_t>(std::strlen(CommandLineText())) ? 1 : 0;
  return stream->status;
}

int BasaltCluster::Impl::StreamName() {
  BasaltStream* stream = Find(Word());
  if (!stream) {
    ReplyNoBytes();
    return kNoStream;
  }
  const char* text = stream->name.c_str();
  if (stream->kindBits & BasaltStream::kCommandLineBit)
    text = "Command line";
  else if (stream->kindBits & BasaltStream::kStdinBit)
    text = "stdin";
  else if (stream->kindBits & BasaltStream::kStdoutBit)
    text = "stdout";
  else if (stream->kindBits & BasaltStream::kStderrBit)
    text = "stderr";
  ReplyBytes(static_cast<uint32_t>(std::strlen(text)), text);
  return kOk;
}

int BasaltCluster::Impl::FileSize() {
  BasaltStream* stream = Find(Word());
  if (!stream) {
    Reply(0);
    return kNoStream;
  }
  if (stream->IsCommandLine()) {
    Reply(static_cast<int32_t>(std::strlen(CommandLineText())));
    return kOk;
  }
  int64_t size = 0;
  int result = stream->Size(&size);
  Reply(static_cast<int32_t>(size));
  return result;
}

int BasaltCluster::Impl::DeviceShape() {
  BasaltStream* stream = Find(Word());
  int32_t shape[3] = {-1, -1, 0};
  int result = kOk;
  if (!stream || stream->IsCommandLine()) {
    result = kNoStream;
  } else if (stream->IsCharacterDevice()) {
    shape[1] = 255;
  } else if (stream->type == 1 || stream->type == 3) {
    shape[1] = 1024;
  } else if (stream->type == 4 || stream->type == 5) {
    shape[0] = shape[1] = shape[2] = stream->recordLength;
  } else {
    shape[1] = -32768;
  }
  for (int32_t word : shape) Reply(word);
  return result;
}

int BasaltCluster::Impl::Close() {
  int32_t handle = Word();
  int32_t disposition = Word();
  BasaltStream* stream = Find(handle);
  if (!stream) return kNoStream;
  if (stream->IsCommandLine()) {
    Release(handle);
    return kOk;
  }
  int result = kOk;
  if (stream->kind == BasaltStream::kConsole) {
    if (stream->direction == BasaltStream::kWriting && !stream->ChangeDirection(BasaltStream::kNone))
      result = kFailure;
  } else {
    // A bad disposition still closes the file (kept, unless temporary):
    // the handle is gone either way, and the file must not stay open behind
    // it with its data unwritten.
    if (!stream->ChangeDirection(BasaltStream::kNone)) result = kFailure;
    if (std::fclose(stream->file) != 0) result = kFailure;
    stream->file = nullptr;
    if (disposition == 1 || stream->kind == BasaltStream::kTemporary) {
      // Resolved again where it was opened: a directory on the way may have
      // been replaced by a link in the meantime.
      FileRoot& root = stream->root ? *stream->root : Root();
      if (!Allowed(root.Remove(stream->name.c_str()), root, stream->name.c_str())) result = kFailure;
    }
  }
  Release(handle);
  if (disposition != 0 && disposition != 1) return kBadDisposition;
  return result;
}

int BasaltCluster::Impl::Read() {
  int32_t handle = Word();
  uint32_t count = Unsigned();
  BasaltStream* stream = Find(handle);
  if (!stream) {
    ReplyNoBytes();
    return kNoStream;
  }
  if (stream->kindBits & BasaltStream::kStdinBit) {
    int got = Context().ReadLine(data, static_cast<int>(kTransferSize));
    got = std::clamp(got, 0, static_cast<int>(kTransferSize));
    ReplyBytes(static_cast<uint32_t>(got), data);
    if (got == 0) {
      stream->status = 1;
      return kEndOfFile;
    }
    return kOk;
  }
  if (count > kTransferSize) {
    ReplyNoBytes();
    return kBadCount;
  }
  if (stream->IsCommandLine()) {
    const char* text = CommandLineText();
    int64_t length = static_cast<int64_t>(std::strlen(text));
    int64_t from = std::clamp<int64_t>(stream->position, 0, length);
    uint32_t taken = static_cast<uint32_t>(std::min<int64_t>(count, length - from));
    ReplyBytes(taken, text + from);
    stream->position = from + taken;
    return taken < count ? kEndOfFile : kOk;
  }
  // The process's own output streams cannot be read; trying would leave
  // their error indicators set for the rest of the process.
  if (stream->consoleOutput) {
    ReplyNoBytes();
    return kFailure;
  }
  uint32_t got = 0;
  int result = stream->Read(data, count, &got);
  ReplyBytes(got, data);
  return result;
}

int BasaltCluster::Impl::Write() {
  int32_t handle = Word();
  uint32_t length = 0;
  bool fits = ReadString(data, &length);
  BasaltStream* stream = Find(handle);
  if (!stream || stream->IsCommandLine()) {
    Reply(0);
    return kNoStream;
  }
  if (!fits) {
    Reply(0);
    return kBadCount;
  }
  if (stream->consoleOutput) {
    Context().Write(data, static_cast<int>(length), stream->kindBits & BasaltStream::kStderrBit);
    Reply(static_cast<int32_t>(length));
    return kOk;
  }
  if (stream->consoleInput) {
    Reply(0);
    return kFailure;
  }
  uint32_t written = 0;
  int result = stream->Write(data, length, &written);
  Reply(static_cast<int32_t>(written));
  return result;
}

int BasaltCluster::Impl::Position() {
  int32_t handle = Word();
  int32_t offset = Word();
  BasaltStream* stream = nullptr;
  int refusal = RecordStream(handle, &stream);
  if (refusal != kOk) return refusal;
  return stream->Position(offset);
}

int BasaltCluster::Impl::ReadRecord() {
  int32_t handle = Word();
  uint32_t control = Unsigned();
  uint32_t count = Unsigned();
  BasaltStream* stream = nullptr;
  int refusal = RecordStream(handle, &stream);
  // The text types transfer at most one line; the others read the file
  // into the transfer buffer, so their count is bounded by it.
  if (refusal == kOk && count > kTransferSize && IsBinaryType(stream->type)) refusal = kBadCount;
  // As for service 12: the process's own output streams are never read.
  if (refusal == kOk && stream->consoleOutput) refusal = kFailure;
  if (refusal != kOk) {
    Reply(0);
    ReplyNoBytes();
    return refusal;
  }
  int32_t lengthWord = 0;
  uint32_t got = 0;
  int result = stream->ReadRecord(control, count, data, &lengthWord, &got);
  if (result == BasaltStream::kLineBufferMissing) Context().Fatal("Out of memory");
  Reply(lengthWord);
  ReplyBytes(got, data);
  return result;
}

int BasaltCluster::Impl::WriteRecord() {
  int32_t handle = Word();
  uint32_t control = Unsigned();
  int32_t length = Word();
  uint32_t count = 0;
  bool fits = ReadString(data, &count);
  BasaltStream* stream = nullptr;
  int refusal = RecordStream(handle, &stream);
  if (refusal != kOk) return refusal;
  if (!fits) return kBadCount;
  // As for service 13: the process's own input stream is never written.
  if (stream->consoleInput) return kFailure;
  return stream->WriteRecord(control, length, data, count);
}

int BasaltCluster::Impl::Backspace() {
  BasaltStream* stream = nullptr;
  int refusal = RecordStream(Word(), &stream);
  return refusal != kOk ? refusal : stream->Backspace();
}

int BasaltCluster::Impl::Rewind() {
  BasaltStream* stream = nullptr;
  int refusal = RecordStream(Word(), &stream);
  return refusal != kOk ? refusal : stream->Rewind();
}

int BasaltCluster::Impl::EndFile() {
  BasaltStream* stream = nullptr;
  int refusal = RecordStream(Word(), &stream);
  return refusal != kOk ? refusal : stream->EndFile();
}

namespace {}  // namespace

// Not blocking: a named pipe without a writer would otherwise hold the
// server in the open.
bool BasaltCluster::Impl::CanRead(const char* path) {
  FileRoot& root = Root();
  int descriptor = -1;
  if (!Allowed(root.Open(path, O_RDONLY | O_NONBLOCK, &descriptor), root, path)) return false;
  close(descriptor);
  return true;
}

int BasaltCluster::Impl::FileExists() {
  bool fits = ReadString(name);
  Reply(0);
  if (!fits) return kFailure;
  return CanRead(name) ? kOk : kNotFound;
}

int BasaltCluster::Impl::FileReadable() {
  bool fits = ReadString(name);
  return fits && CanRead(name) ? kOk : kFailure;
}

int BasaltCluster::Impl::StreamKind() {
  BasaltStream* stream = Find(Word());
  if (!stream) {
    Reply(-1);
    return kNoStream;
  }
  // Console streams carry no name: their kind bits say which they are.
  const std::string& name = stream->name;
  int code = 2;
  if (stream->kindBits & BasaltStream::kCommandLineBit)
    code = 4;
  else if ((stream->kindBits & BasaltStream::kStdinBit) || name == "stdin")
    code = 1;
  else if ((stream->kindBits & (BasaltStream::kStdoutBit | BasaltStream::kStderrBit)) || name == "stdout" ||
           name == "stderr")
    code = 0;
  else if (stream->kind == BasaltStream::kTemporary)
    code = 3;
  Reply(code);
  return kOk;
}

int BasaltCluster::Impl::ExitTask() {
  int32_t word = Word();
  // The word can silence the reply; it never asks for one the request
  // itself declined, which would put the link out of step.
  if (word != 0) Context().noReply = 1;
  if (--taskCount <= 0) Context().StopServing();
  return kOk;
}

int BasaltCluster::Impl::ExitStatus() {
  Context().SetExitStatus(Word());
  return kOk;
}

int BasaltCluster::Impl::HostCommand() {
  if (!ReadString(data)) return kFailure;
  const OptionsRecord* options = Options();
  if (options && !options->AllowHostCommands) {
    if (options->MonGeneral) Context().Monitor("Host command refused: %s", data);
    return kFailure;
  }
  std::fflush(nullptr);
  // The command's own exit status, as the shell reports it: 128 + the
  // signal that ended it; -1 when no shell could be started.
  int status = RunHostCommand(data, Halting());
  if (status == -1) return -1;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return kFailure;
}

int BasaltCluster::Impl::Rename() {
  bool fits = ReadString(name);
  fits = ReadString(otherName) && fits;
  if (!fits) return kFailure;
  FileRoot& root = Root();
  const char* refused = nullptr;
  FileRoot::Outcome outcome = root.Rename(name, otherName, &refused);
  return Allowed(outcome, root, refused ? refused : name) ? kOk : kFailure;
}

int BasaltCluster::Impl::Time() {
  Channel().WriteUnsigned(static_cast<uint32_t>(std::time(nullptr)));
  return kOk;
}

int BasaltCluster::Impl::Refused() {
  return kFailure;
}

// Services 30 and 31 would read and write the server's own memory at an
// address the application chooses; they are refused, keeping the reply.
int BasaltCluster::Impl::ReadServerMemory() {
  Word();
  Word();
  ReplyNoBytes();
  return kFailure;
}

int BasaltCluster::Impl::WriteServerMemory() {
  Word();
  ReadString(data);
  Reply(0);
  return kFailure;
}

int BasaltCluster::Impl::RefusedWithWord() {
  Word();
  Reply(0);
  return kFailure;
}

int BasaltCluster::Impl::Environment() {
  bool fits = ReadString(name);
  const char* value = fits ? std::getenv(name) : nullptr;
  // A value longer than the transfer buffer would not fit the reply block.
  if (!value || std::strlen(value) > kTransferSize) {
    ReplyNoBytes();
    return kFailure;
  }
  ReplyBytes(static_cast<uint32_t>(std::strlen(value)), value);
  return kOk;
}

// This platform gives no access to PC I/O ports.
int BasaltCluster::Impl::PortIn() {
  Word();
  Reply(0);
  return kFailure;
}

int BasaltCluster::Impl::PortOut() {
  Word();
  Word();
  return kFailure;
}

int BasaltCluster::Impl::SetTaskCount() {
  taskCount = Word();
  return kOk;
}

int BasaltCluster::Impl::SetInputTitle() {
  if (!ReadString(data)) return kFailure;
  // The host's callbacks are reached through the engine's own context.
  HostCallbacks* host = static_cast<ServerContextImpl&>(Context()).Host();
  if (host) host->SetInputTitle(data);
  return kOk;
}

BasaltCluster::BasaltCluster() : impl_(std::make_unique<Impl>(*this)) {}

BasaltCluster::~BasaltCluster() = default;

int BasaltCluster::Dispatch(int, int service) {
  if (service == 0) return 0;
  if (service > 0 && static_cast<size_t>(service) < Impl::kHandlers.size()) {
    Impl::Handler handler = Impl::kHandlers[static_cast<size_t>(service)];
    if (handler) return (impl_.get()->*handler)();
  }
  throw no_service(Name(), service);
}

}  // namespace veltra
