// The server object of the engine library (Orvcore), which exports
//   extern "C" OrvServer* GetOrvServer(WindowHandle owner);
//   extern "C" void CloseOrvServer();
//   extern "C" int* GetOrvServerVersion(int* major, int* minor);
#pragma once

#include <cstdint>

#include "veltra/WindowHandle.h"

namespace veltra {

class Cluster;
class HostCallbacks;
class Link;
class LinkManager;
class OptionsManager;
class RequestFilter;
struct OptionsRecord;

// How the last run ended, for hosts that report it (the headless runner's
// exit status).
enum class RunOutcome : int {
  None,        // no run yet
  Terminated,  // the application ended its last task (or a standalone one was loaded)
  Halted,      // Halt stopped it
  Failed,      // an error or a failure box ended it
};

class OrvServer {
 public:
  virtual ~OrvServer() = default;  // 0
  // Returns the server thread's handle (opaque; non-null once started).
  virtual void* Start(HostCallbacks* callbacks) = 0;          // 1
  virtual void SetLink(Link* link) = 0;                       // 2
  virtual void SetApplication(const char* path) = 0;          // 3
  virtual void ResetBoards(bool force) = 0;                   // 4
  virtual void Run() = 0;                                     // 5
  virtual void Reconnect(bool sendWord, uint32_t word) = 0;   // 6
  virtual void Halt() = 0;                                    // 7
  virtual void Shutdown() = 0;                                // 8
  virtual bool CanRun() = 0;                                  // 9
  virtual void SetCommandLine(const char* text) = 0;          // 10
  virtual const char* GetCommandLine() = 0;                   // 11
  virtual int CommandLineLimit() = 0;                         // 12
  virtual void AddCluster(int number, Cluster* cluster) = 0;  // 13
  virtual void SetRequestFilter(RequestFilter* filter) = 0;   // 14
  virtual void SignalHostSemaphore(int n) = 0;                // 15
  // Appended after the system's own slots.
  // The exit status the application set in its last run (0 when none).
  virtual int ExitStatus() = 0;             // 16
  virtual RunOutcome LastRunOutcome() = 0;  // 17

  // Read directly by the host.
  LinkManager* linkManager = nullptr;
  OptionsManager* optionsManager = nullptr;
  OptionsRecord* options = nullptr;
};

using GetOrvServerFunction = OrvServer* (*)(WindowHandle owner);
using CloseOrvServerFunction = void (*)();
using GetOrvServerVersionFunction = int* (*)(int* major, int* minor);

}  // namespace veltra
