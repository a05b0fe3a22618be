// The window operations of the graph library interface, shared by the
// cluster services and the exported functions. Each runs on the thread that
// owns the windows.
#pragma once

#include <string>

namespace veltra {

class GraphWindow;

namespace GraphLibrary {

// Registry branch of this build's window settings ("Plexa_301" or "Plexa_300").
const char* Branch();
// Creates the window for the settings name and shows it at its persisted or
// default place (on the off-screen platform when there is no display).
GraphWindow* Open(const std::string& settingsName);
void Close(GraphWindow* window);
// The data set of size doubles; only the trace is redrawn.
void Show(GraphWindow* window, const double* data, long long size);
// Without a size: the window reads the first + count doubles its layout names.
void Show(GraphWindow* window, const double* data);

}  // namespace GraphLibrary
}  // namespace veltra
