// The raw transport: the host end of the socket pair answering a benchmark
// application directly, with the fewest system calls (one blocking recv that
// usually takes a whole request block, one send per reply block). It sends
// the same reply blocks as the server and writes the same files, and knows
// only the handful of services the benchmark applications use (the graph
// cluster's AppendData among them, taken like a sink: checked, not copied).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace veltra::bench {

class RawResponder {
 public:
  // consolePath receives what the application writes to standard output.
  explicit RawResponder(std::string consolePath) : consolePath_(std::move(consolePath)) {}
  ~RawResponder();
  RawResponder(const RawResponder&) = delete;
  RawResponder& operator=(const RawResponder&) = delete;

  // Starts the application on a socket pair and answers it until it has
  // ended its task and closed the link. False with error set when anything
  // went wrong, including an exit status other than 0.
  bool Run(const std::string& application, const std::string& commandLine,
           const std::vector<std::string>& environment, std::string& error);

 private:
  static constexpr uint32_t kMaxBlock = 8292;

  bool Serve(int fd, std::string& error);
  // Answers one request block; false on a request it cannot answer.
  bool Answer(int fd, const uint8_t* data, uint32_t length, std::string& error);
  void Put(uint32_t word);
  void PutBytes(const void* data, uint32_t count);
  bool Send(int fd);
  std::FILE* Stream(int32_t handle);
  void CloseFiles();

  std::string consolePath_;
  std::string application_;
  std::string commandLine_;
  std::FILE* console_ = nullptr;
  std::FILE* file_ = nullptr;
  bool taskEnded_ = false;
  // The one graph a benchmark opens: its capacity and write position, in samples.
  uint32_t graphCapacity_ = 0;
  uint32_t graphCursor_ = 0;
  alignas(4) uint8_t reply_[4 + kMaxBlock] = {};
  uint32_t replySize_ = 0;
};

}  // namespace veltra::bench
