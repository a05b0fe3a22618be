// A stand-in for a DSP application: reads link blocks from VELTRA_LINK_FD and
// obeys the command in each block's first word (SimulatorTestCommands.h).
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "SimulatorTestCommands.h"

namespace {

using veltra::sim::test::Command;

int linkFd = -1;
// Set by kIgnoreTerm: the application then outlives its link too, and only SIGKILL ends it.
bool stubborn = false;

void ReadAll(void* buffer, size_t count) {
  auto* at = static_cast<char*>(buffer);
  while (count > 0) {
    ssize_t got = ::read(linkFd, at, count);
    if (got <= 0) {
      // The host went away.
      while (stubborn) ::pause();
      std::exit(0);
    }
    at += got;
    count -= static_cast<size_t>(got);
  }
}

void WriteAll(const void* buffer, size_t count) {
  auto* at = static_cast<const char*>(buffer);
  while (count > 0) {
    ssize_t sent = ::send(linkFd, at, count, MSG_NOSIGNAL);
    if (sent <= 0) std::exit(0);
    at += sent;
    count -= static_cast<size_t>(sent);
  }
}

void Reply(const std::vector<uint32_t>& words) {
  std::vector<uint32_t> block{static_cast<uint32_t>(words.size() * 4)};
  block.insert(block.end(), words.begin(), words.end());
  WriteAll(block.data(), block.size() * 4);
}

uint32_t Argument(const std::vector<uint32_t>& data) {
  return data.size() > 1 ? data[1] : 0;
}

}  // namespace

int main() {
  // Never outlive a test that failed to end us.
  ::alarm(60);
  const char* fdText = std::getenv("VELTRA_LINK_FD");
  if (!fdText) return 70;
  linkFd = std::atoi(fdText);
  if (::fcntl(linkFd, F_GETFD) < 0) return 71;

  for (;;) {
    uint32_t length = 0;
    ReadAll(&length, 4);
    if (length == 0x10004) {
      uint32_t mask = 0;
      ReadAll(&mask, 4);
      Reply({static_cast<uint32_t>(Command::kSignalSeen), mask});
      continue;
    }
    std::vector<uint32_t> data((length + 3) / 4);
    ReadAll(data.data(), length);
    if (data.empty()) continue;
    switch (static_cast<Command>(data[0])) {
      case Command::kEcho:
        Reply(data);
        break;
      case Command::kCwd: {
        char cwd[4096] = {};
        if (!::getcwd(cwd, sizeof cwd - 4)) std::strcpy(cwd, "?");
        std::vector<uint32_t> words{static_cast<uint32_t>(std::strlen(cwd))};
        words.resize(1 + (words[0] + 3) / 4);
        std::memcpy(words.data() + 1, cwd, words[0]);
        Reply(words);
        break;
      }
      case Command::kExit:
        std::exit(static_cast<int>(Argument(data)));
      case Command::kKill:
        ::kill(::getpid(), SIGKILL);
        break;
      case Command::kHalfBlock: {
        uint32_t half[2] = {8, 0x12345678};
        WriteAll(half, sizeof half);
        ::_exit(static_cast<int>(Argument(data)));
      }
      case Command::kPid:
        Reply({static_cast<uint32_t>(::getpid())});
        break;
      case Command::kIgnoreTerm:
        ::signal(SIGTERM, SIG_IGN);
        stubborn = true;
        Reply({static_cast<uint32_t>(Command::kIgnoreTerm)});
        break;
      case Command::kRawWord: {
        Reply({static_cast<uint32_t>(Command::kRawWord)});
        uint32_t word = 0;
        ReadAll(&word, 4);
        Reply({word});
        break;
      }
      case Command::kFirstRecv: {
        Reply({static_cast<uint32_t>(Command::kFirstRecv)});
        // One recv shows how the next block left the host: all at once, or
        // its length word first and the data later.
        std::vector<char> bytes(65536);
        ssize_t first = ::recv(linkFd, bytes.data(), bytes.size(), 0);
        if (first <= 0) return 0;
        size_t have = static_cast<size_t>(first);
        while (have < 4) {
          ssize_t more = ::recv(linkFd, bytes.data() + have, bytes.size() - have, 0);
          if (more <= 0) return 0;
          have += static_cast<size_t>(more);
        }
        uint32_t blockLength = 0;
        std::memcpy(&blockLength, bytes.data(), 4);
        if (have < 4 + blockLength) ReadAll(bytes.data() + have, 4 + blockLength - have);
        Reply({static_cast<uint32_t>(first), blockLength});
        break;
      }
      case Command::kOtherSockets: {
        uint32_t count = 0;
        for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
          std::error_code ec;
          auto target = std::filesystem::read_symlink(entry.path(), ec).string();
          if (!ec && target.rfind("socket:", 0) == 0 && entry.path().filename() != std::to_string(linkFd))
            ++count;
        }
        Reply({count});
        break;
      }
      case Command::kCloseLink:
        ::close(linkFd);
        for (;;) ::pause();
      default:
        Reply({0xffffffffu});
        break;
    }
  }
}
