// One opened graph: its window, the buffer the application fills and the
// data set the window shows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace veltra {

class GraphWindow;

struct GraphRecord {
  // Made, used and deleted only on the thread that owns the windows.
  GraphWindow* window = nullptr;
  int32_t capacity = 0;
  // Filled by AppendData on the server thread, never read by the window.
  std::vector<double> buffer;
  // Write cursor, in samples from the buffer's start.
  std::size_t cursor = 0;
  // What the window shows: a copy of the buffer taken at Show on the
  // window's thread, so that a repaint never reads samples the server
  // thread is writing.
  std::vector<double> shown;
  std::string settingsName;
  // Base name of the files written for --graphs ("" when not written).
  std::string fileName;
};

}  // namespace veltra
