#include "engine/serve/ServerContextImpl.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/Ui.h"
#include "veltra/ServerError.h"

namespace veltra {

namespace {

constexpr int kMonitorTextSize = 256;
constexpr int kFatalTextSize = 128;
constexpr unsigned kMonitorWordLimit = 32;
constexpr unsigned kMonitorWordsPerLine = 8;
// How often an output file that is a named pipe without a reader is tried
// again; the run's stop ends the waiting.
constexpr std::chrono::milliseconds kReaderRetry{20};

// Two names of one file, so that stdout and stderr redirected to it share a
// handle instead of overwriting each other from two.
bool SameFile(const char* a, const char* b) {
  if (std::strcmp(a, b) == 0) return true;
  std::error_code ec;
  return std::filesystem::equivalent(a, b, ec) && !ec;
}

}  // namespace

ServerContextImpl::ServerContextImpl(HostCallbacks* host, OptionsRecord* options)
    : host_(host), options_(options) {}

ServerContextImpl::~ServerContextImpl() {
  CloseRedirections();
}

const char* ServerContextImpl::Version() {
  return "Windows Server V2.6";
}

void ServerContextImpl::MonitorLine(const char* text) {
  char line[kMonitorTextSize + 8];
  std::snprintf(line, sizeof line, "MON: %s\n", text);
  Route(line, std::strlen(line), true);
}

void ServerContextImpl::Monitor(const char* format, ...) {
  char text[kMonitorTextSize];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  MonitorLine(text);
}

void ServerContextImpl::Fatal(const char* format, ...) {
  char text[kFatalTextSize];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  char line[kFatalTextSize + 32];
  std::snprintf(line, sizeof line, "\nServer terminated: %s\n", text);
  Route(line, std::strlen(line), true);
  throw Stop();
}

void ServerContextImpl::MonitorWords(const char* label, const uint32_t* words, unsigned count) {
  if (count == 0) return;
  char header[kMonitorTextSize];
  std::snprintf(header, sizeof header, "%s %d words", label ? label : "", static_cast<int>(count));
  MonitorLine(header);
  if (!words) return;
  unsigned shown = count < kMonitorWordLimit ? count : kMonitorWordLimit;
  for (unsigned first = 0; first < shown; first += kMonitorWordsPerLine) {
    char line[kMonitorWordsPerLine * 9 + 2];
    size_t length = 0;
    for (unsigned i = first; i < shown && i < first + kMonitorWordsPerLine; ++i)
      length += static_cast<size_t>(
          std::snprintf(line + length, sizeof line - length, " %08x", static_cast<unsigned>(words[i])));
    line[length++] = '\n';
    line[length] = '\0';
    Route(line, length, true);
  }
}

void ServerContextImpl::SetProgramName(const char* name) {
  if (name)
    programName_ = name;
  else
    programName_.reset();
}

const char* ServerContextImpl::ProgramName() {
  return programName_ ? programName_->c_str() : nullptr;
}

void ServerContextImpl::SetArguments(const char* arguments) {
  if (arguments)
    arguments_ = arguments;
  else
    arguments_.reset();
}

const char* ServerContextImpl::Arguments() {
  return arguments_ ? arguments_->c_str() : "";
}

void ServerContextImpl::ClearProgramOverride() {
  programName_.reset();
  arguments_.reset();
}

void ServerContextImpl::SetCommandLine(const char* text) {
  if (!options_) return;
  std::lock_guard<std::mutex> lock(commandLineMutex_);
  std::snprintf(options_->CommandLine, kCommandLineLimit + 1, "%s", text ? text : "");
}

const char* ServerContextImpl::CommandLine() {
  if (!options_) return "";
  // The host sets the command line on its own thread while the application
  // may be reading it: each thread gets a copy taken under the lock, valid
  // until its next call.
  thread_local char copy[kCommandLineSize];
  std::lock_guard<std::mutex> lock(commandLineMutex_);
  size_t length = strnlen(options_->CommandLine, sizeof copy - 1);
  std::memcpy(copy, options_->CommandLine, length);
  copy[length] = '\0';
  return copy;
}

int ServerContextImpl::CommandLineLimit() {
  return kCommandLineLimit;
}

const char* ServerContextImpl::ApplicationPath() {
  return applicationPath_;
}

void ServerContextImpl::SetApplicationPath(const char* path) {
  applicationPath_ = path ? path : "";
}

void ServerContextImpl::SetExitStatus(int status) {
  exitStatus_ = status;
}

int ServerContextImpl::ExitStatus() {
  return exitStatus_.load();
}

void ServerContextImpl::Write(char* buffer, int length, bool toStderr) {
  if (!buffer) return;
  if (length < 0) length = 0;
  buffer[length] = '\0';
  Route(buffer, static_cast<size_t>(length), toStderr);
}

void ServerContextImpl::WriteText(const char* text, size_t length, bool toStderr) {
  // The host takes zero-terminated texts: pass it on in terminated pieces.
  char piece[1024];
  while (length > 0) {
    size_t n = length < sizeof piece - 1 ? length : sizeof piece - 1;
    std::memcpy(piece, text, n);
    piece[n] = '\0';
    Route(piece, n, toStderr);
    text += n;
    length -= n;
  }
}

void ServerContextImpl::AppendToFile(StreamOptions& stream, const char* text, size_t length) {
  std::lock_guard<std::mutex> lock(filesMutex_);
  if (stream.Handle && length > 0) std::fwrite(text, 1, length, stream.Handle);
}

void ServerContextImpl::Route(const char* text, size_t length, bool toStderr) {
  if (!options_) {
    if (host_) host_->Output(text, toStderr);
    return;
  }
  // Standard error keeps its own route unless merged into standard output;
  // the host is still told which stream the text came from.
  StreamOptions& stream = toStderr && !options_->StdErr.Merge ? options_->StdErr : options_->StdOut;
  AppendToFile(stream, text, length);
  if (stream.Log && host_) host_->Output(text, toStderr);
}

int ServerContextImpl::ReadLine(char* buffer, int size) {
  if (!options_ || options_->StdIn.Log) return host_ ? host_->ReadLine(buffer, size) : 0;
  if (!buffer || size <= 0) return 0;
  std::FILE* in = nullptr;
  {
    std::lock_guard<std::mutex> lock(filesMutex_);
    in = options_->StdIn.Handle;
  }
  // Read without the lock: input may take as long as a person or a pipe
  // makes it, and monitor lines from other threads must not wait for it.
  // Only the server thread opens, reads and closes standard input.
  if (!in || !std::fgets(buffer, size, in)) {
    buffer[0] = '\0';
    return 0;
  }
  return static_cast<int>(std::strlen(buffer));
}

void ServerContextImpl::OpenRedirections() {
  if (!options_) return;
  if (!options_->StdIn.Log) OpenRedirection(options_->StdIn);
  if (options_->StdOut.File) OpenRedirection(options_->StdOut);
  if (options_->StdErr.File) {
    StreamOptions& out = options_->StdOut;
    StreamOptions& err = options_->StdErr;
    std::unique_lock<std::mutex> lock(filesMutex_);
    if (out.Handle && err.Filename[0] && SameFile(err.Filename, out.Filename)) {
      if (err.Handle && err.Handle != out.Handle) std::fclose(err.Handle);
      err.Handle = out.Handle;
    } else {
      lock.unlock();
      OpenRedirection(err);
    }
  }
}

void ServerContextImpl::OpenRedirection(StreamOptions& record) {
  // The C library's modes "r", "a+" and "w" (see OpenStreamFile).
  const char* verb = record.IsInput ? "read from" : record.Append ? "append to" : "write to";
  {
    std::lock_guard<std::mutex> lock(filesMutex_);
    // A handle still open from an earlier open of this record would be lost;
    // close it unless another stream shares it.
    if (record.Handle) {
      bool shared = false;
      if (options_) {
        for (StreamOptions* other : {&options_->StdIn, &options_->StdOut, &options_->StdErr})
          if (other != &record && other->Handle == record.Handle) shared = true;
      }
      if (!shared) std::fclose(record.Handle);
      record.Handle = nullptr;
    }
  }
  if (record.Filename[0] == '\0') return;
  // Opened without the lock: a named pipe may keep us waiting for its other
  // end, and monitor lines from other threads must not wait for that.
  std::FILE* file = OpenStreamFile(record.Filename, record.IsInput, record.Append);
  if (file) {
    std::lock_guard<std::mutex> lock(filesMutex_);
    record.Handle = file;
    return;
  }
  char text[kPathSize + 64];
  std::snprintf(text, sizeof text, "Cannot %s %s\nCheck View/Options/Standard I/O", verb, record.Filename);
  Ui::MessageBox(host_ ? host_->MainWindow() : nullptr, text, "Standard I/O", MessageIcon::Warning);
}

std::FILE* ServerContextImpl::OpenStreamFile(const char* name, bool input, bool append) {
  // Close-on-exec: neither the application's processes nor host commands
  // may hold the run's files. Never blocking in open: a named pipe opens at
  // once, and its transfers wait on the stop event.
  int flags = input ? O_RDONLY : append ? O_RDWR | O_CREAT | O_APPEND : O_WRONLY | O_CREAT | O_TRUNC;
  flags |= O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  int fd;
  while ((fd = ::open(name, flags, 0666)) < 0) {
    // A named pipe without a reader refuses a non-blocking writer; wait for
    // one as a blocking open would, until the run is stopped.
    if (errno != EINTR && (errno != ENXIO || !stop_.Sleep(kReaderRetry))) return nullptr;
  }
  const char* mode = input ? "r" : append ? "a+" : "w";
  struct stat info;
  std::FILE* file = nullptr;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    file = ::fdopen(fd, mode);
  } else {
    file = stop_.StoppableStream(fd, mode);
  }
  if (!file) {
    int error = errno;
    ::close(fd);
    errno = error;
  }
  return file;
}

void ServerContextImpl::CloseRedirections() {
  if (!options_) return;
  // An output file that lost text (a full disk, a device that refuses it) is
  // reported once it is closed: the run's log is incomplete, and the user
  // must not take it for whole.
  char failures[2][kPathSize + 64];
  int failed = 0;
  {
    std::lock_guard<std::mutex> lock(filesMutex_);
    StreamOptions* streams[] = {&options_->StdErr, &options_->StdOut, &options_->StdIn};
    for (StreamOptions* stream : streams) {
      std::FILE* handle = stream->Handle;
      if (!handle) continue;
      // A handle shared by two streams is closed once.
      for (StreamOptions* other : streams)
        if (other->Handle == handle) other->Handle = nullptr;
      bool lost = std::ferror(handle) != 0;
      if (std::fclose(handle) != 0) lost = true;
      if (lost && !stream->IsInput && failed < 2)
        std::snprintf(failures[failed++], sizeof failures[0], "Cannot %s %s\nCheck View/Options/Standard I/O",
                      stream->Append ? "append to" : "write to", stream->Filename);
    }
  }
  for (int i = 0; i < failed; ++i)
    Ui::MessageBox(host_ ? host_->MainWindow() : nullptr, failures[i], "Standard I/O", MessageIcon::Warning);
}

void ServerContextImpl::StopServing() {
  serving_.store(false);
}

bool ServerContextImpl::IsServing() {
  return serving_.load();
}

}  // namespace veltra
