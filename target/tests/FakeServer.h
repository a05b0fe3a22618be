// The server's end of a link for testing the run-time: reads request blocks
// the way the server does (a new block only when the current one is used up
// exactly, no value across blocks) and sends scripted replies and signals.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace veltra::test {

class FakeServer {
 public:
  FakeServer();
  ~FakeServer();
  FakeServer(const FakeServer&) = delete;
  FakeServer& operator=(const FakeServer&) = delete;

  int ClientFd() const { return clientFd_; }
  int ServerFd() const { return serverFd_; }
  void CloseClientEnd();
  void CloseServerEnd();

  // One block's data; throws std::runtime_error on timeout, end of link or a
  // length word the server would refuse.
  std::vector<uint8_t> ReadBlock(int timeoutMs = 5000);
  // True when nothing arrives within timeoutMs.
  bool Quiet(int timeoutMs);

  // Cursor over the current request, fetching blocks as the server does.
  uint32_t Word();
  double Double();
  std::string Bytes();
  // Starts a new request: the next value fetches a new block.
  uint32_t BeginRequest();
  // Throws unless the current block is used up exactly.
  void EndRequest();
  // Lengths of the blocks of the current request.
  const std::vector<size_t>& BlockSizes() const { return blockSizes_; }

  // A reply block: values, then the result word.
  class Reply {
   public:
    Reply& Word(uint32_t value);
    Reply& Double(double value);
    Reply& Bytes(const std::string& value);
    const std::vector<uint8_t>& Data() const { return data_; }

   private:
    std::vector<uint8_t> data_;
  };
  void Send(const Reply& values, int32_t result);
  void SendResult(int32_t result) { Send(Reply(), result); }
  void SendSignal(uint32_t mask);
  void SendRaw(const void* data, size_t size);

 private:
  void Fetch();

  int serverFd_ = -1;
  int clientFd_ = -1;
  std::vector<uint8_t> block_;
  size_t cursor_ = 0;
  std::vector<size_t> blockSizes_;
};

// An example application run as a child process on the client end.
class ChildApp {
 public:
  // Starts path with VELTRA_LINK_FD naming the link (unless withLink is false).
  ChildApp(FakeServer& server, const std::string& path, bool withLink = true);
  ~ChildApp();
  // Waits for the exit; returns the status or -1 after timeoutMs (then kills).
  int Wait(int timeoutMs = 10000);
  // Standard error of the child itself (not the link), read after Wait.
  std::string OwnStderr();

 private:
  pid_t pid_ = -1;
  int stderrFd_ = -1;
};

// Serves the few Basalt and core services a console application uses:
// command line, console streams, exception reports, exit status and task end.
class MiniBasalt {
 public:
  explicit MiniBasalt(FakeServer& server) : server_(server) {}

  std::string programName = "demo.app";
  std::string arguments;
  std::vector<std::string> input;  // lines served to standard input

  std::string out;
  std::string err;
  std::vector<std::vector<uint32_t>> exceptions;
  std::vector<uint32_t> requestWords;  // every request word, in order
  int exitStatus = -1;
  bool ended = false;

  // Serves one request; false once the task has ended.
  bool ServeOne();
  void ServeToEnd();

 private:
  FakeServer& server_;
  size_t nextInput_ = 0;
};

// Path of an example application in the build tree.
std::string ExamplePath(const std::string& name);

}  // namespace veltra::test
