// The exported graph library interface of Spectrel.
#include "plugins/graph/GraphWindow.h"
#include "plugins/common/WindowThread.h"
#include "plugins/graph/cluster/GraphLibrary.h"
#include "plugins/graph/library/WindowGraphHandler.h"
#include "veltra/Export.h"
#include "veltra/Spectrel.h"

using veltra::GraphWindow;
namespace GraphLibrary = veltra::GraphLibrary;

namespace {

GraphWindow* Window(void* window) {
  return static_cast<GraphWindow*>(window);
}

}  // namespace

VELTRA_C_EXPORT void* OpenLib(const char* settingsName) {
  veltra::WindowThread::EnsureCallerApplication();
  return GraphLibrary::Open(settingsName ? settingsName : "");
}

VELTRA_C_EXPORT void CloseLib(void* window) {
  GraphLibrary::Close(Window(window));
}

VELTRA_C_EXPORT int Show(void* window, const double* data) {
  GraphLibrary::Show(Window(window), data);
  return 0;
}

VELTRA_C_EXPORT int SetXTitle(void* window, const char* title, const char* unit) {
  if (window) Window(window)->SetXTitle(title ? title : "", unit ? unit : "");
  return 0;
}

VELTRA_C_EXPORT int SetYTitle(void* window, const char* title, const char* unit) {
  if (window) Window(window)->SetYTitle(title ? title : "", unit ? unit : "");
  return 0;
}

VELTRA_C_EXPORT int SetAxisRangesPhis(void* window, int first, int count, double physicalMinimum,
                                      double physicalSize) {
  if (window) Window(window)->SetAxisRangesPhis(first, count, physicalMinimum, physicalSize);
  return 0;
}

VELTRA_C_EXPORT int SetAxisRangesUser(void* window, double xMinimum, double xSize, double yMinimum,
                                      double ySize) {
  if (window) Window(window)->SetAxisRangesUser(xMinimum, xSize, yMinimum, ySize);
  return 0;
}

VELTRA_C_EXPORT int SetGraphTile(void* window, const char* title) {
  if (window) Window(window)->SetGraphTile(title ? title : "");
  return 0;
}

VELTRA_C_EXPORT veltra::GraphHandler* OpenHandler() {
  veltra::WindowThread::EnsureCallerApplication();
  return new veltra::WindowGraphHandler;
}

VELTRA_C_EXPORT void CloseHandler(veltra::GraphHandler* handler) {
  delete handler;
}
