// A real OrvServer inside the benchmark process, bound as the hosts bind it:
// Orvcore loaded by name, GetOrvServer, Start with our callbacks, a link of
// the simulator library, then SetApplication, ResetBoards and Run for every
// run. Serving happens on the server's own thread, so the resident size of
// this process is the server's.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace veltra::bench {

class EmbeddedServer {
 public:
  EmbeddedServer();
  ~EmbeddedServer();
  EmbeddedServer(const EmbeddedServer&) = delete;
  EmbeddedServer& operator=(const EmbeddedServer&) = delete;

  // Loads the engine and the simulator and starts the server thread.
  bool Open(std::string& error);
  // Runs the application with the command line to its end. False with error
  // set when the run showed a message box or the application wrote to its
  // standard error.
  bool Run(const std::string& application, const std::string& commandLine, std::string& error);
  // Called on the server thread for every line "mark\n" of the
  // application's standard output, between two requests. It must not
  // allocate if allocations are being counted.
  void SetMarkHook(std::function<void()> hook);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace veltra::bench
