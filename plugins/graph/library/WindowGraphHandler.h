// The GraphHandler of the library interface: holds one data message's bytes
// and shows them in its window.
#pragma once

#include <memory>

#include "veltra/GraphHandler.h"

namespace veltra {

class GraphWindow;

class WindowGraphHandler final : public GraphHandler {
 public:
  // Opens the window, named "number%d" by the live handlers' count.
  WindowGraphHandler();
  ~WindowGraphHandler() override;

  int Reserved2(void*) override { return 0; }
  int ShowData(GraphMessage* message, int ignored) override;
  int Reserved4(void*, void*) override { return 0; }
  int ReceiveData(GraphMessage* message, int second) override;
  int DropData(GraphMessage* message, int ignored) override;
  int Reserved7(void*, void*) override { return 1; }
  int Reserved8(void*, void*) override { return 1; }
  int Command(GraphMessage* message, int ignored) override;

  // Handlers alive now (the next one's name number).
  static int Count();

 private:
  // Frees the held data, after the window has let go of it.
  void Release();

  std::unique_ptr<double[]> data_;
  long long bytes_ = 0;
  int unused1_ = 0;
  int unused2_ = 0;
  GraphWindow* window_ = nullptr;
};

}  // namespace veltra
