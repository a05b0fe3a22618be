#include "plugins/graph/cluster/GraphLibrary.h"

#include <algorithm>

#include "plugins/graph/GraphWindow.h"

#ifndef VELTRA_GRAPH_BRANCH
#error "each build names its settings branch"
#endif

namespace veltra::GraphLibrary {

const char* Branch() {
  return VELTRA_GRAPH_BRANCH;
}

GraphWindow* Open(const std::string& settingsName) {
  auto* window = new GraphWindow(Branch(), settingsName);
  window->show();
  return window;
}

void Close(GraphWindow* window) {
  if (!window) return;
  window->Destroy();
  delete window;
}

void Show(GraphWindow* window, const double* data, long long size) {
  if (window) window->Show(data, size);
}

void Show(GraphWindow* window, const double* data) {
  if (!window) return;
  long long size = static_cast<long long>(std::max(window->First(), 0)) + std::max(window->Count(), 0);
  window->Show(data, size);
}

}  // namespace veltra::GraphLibrary
