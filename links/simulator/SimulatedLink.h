// The link to one simulated board. Loading an application starts it as a
// process with one end of a socket pair; the blocks of the link protocol
// travel over that socket untouched.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "ApplicationProcess.h"
#include "LinkSocket.h"
#include "veltra/Link.h"

namespace veltra::sim {

class SimulatedLink final : public Link {
 public:
  static constexpr std::chrono::milliseconds kTerminateGrace{200};

  explicit SimulatedLink(int boardId);
  ~SimulatedLink();
  SimulatedLink(const SimulatedLink&) = delete;
  SimulatedLink& operator=(const SimulatedLink&) = delete;

  void Read(void* buffer, int count) override;
  void Write(const void* buffer, int count) override;
  void Reset() override;
  void RunEnded() override;
  bool LoadFile(const char* path) override;
  void Cancel() override;
  int DriverVersion(char* name, int* major, int* minor) override;
  void ShowProperties() override;
  int Control(int code, int value) override;
  const char* LoadError() override;

  // The process of the application running on this board, or -1.
  pid_t RunningPid();

 private:
  std::shared_ptr<LinkSocket> CurrentSocket();
  [[noreturn]] void ThrowClosed(const std::shared_ptr<LinkSocket>& socket, int error, const char* what);
  void ClearCancelLocked();
  bool LoadKernel(const std::string& path);
  bool LoadApplication(const std::string& path);
  void SetLoadError(const char* format, ...) __attribute__((format(printf, 2, 3)));

  const int boardId_;
  // Readable while a cancel is pending, so that it wakes a Read blocked in poll.
  const int wakeFd_;

  // Guards process_, socket_, cancelled_ and the count of wakeFd_. Never held
  // while blocked on the socket or waiting for the process to end.
  std::mutex mutex_;
  std::unique_ptr<ApplicationProcess> process_;
  std::shared_ptr<LinkSocket> socket_;
  bool cancelled_ = false;

  // Written by LoadFile and read by LoadError, both on the thread that loads.
  char loadError_[600] = {};
};

}  // namespace veltra::sim
