// The graph library interface of Spectrel (Plexa_300.so, also Spectrel.so):
// graph windows for programs outside the server, fed directly without a
// DSP link. Windows are made on the calling thread, which must dispatch its
// window messages (run an event loop) for them to paint; every call for a
// window comes from that thread. A window pointer is opaque.
#pragma once

#include "veltra/GraphHandler.h"

extern "C" {

// Opens a window for the settings name at its persisted or default place;
// its caption is the graph title, "Graph" at first.
void* OpenLib(const char* settingsName);
// Saves the window's settings and destroys it; null is ignored.
void CloseLib(void* window);
// data becomes the window's data set (at least first + count doubles, kept
// by the caller unchanged until the next Show or CloseLib); only the trace
// is redrawn.
int Show(void* window, const double* data);
// Titles and units take effect at the next repaint.
int SetXTitle(void* window, const char* title, const char* unit);
int SetYTitle(void* window, const char* title, const char* unit);
// These repaint the whole window.
int SetAxisRangesPhis(void* window, int first, int count, double physicalMinimum, double physicalSize);
int SetAxisRangesUser(void* window, double xMinimum, double xSize, double yMinimum, double ySize);
// The graph title; the caption shows it unless the title is locked.
int SetGraphTile(void* window, const char* title);
// A handler with its own window, whose settings are "number%d" by the
// count of live handlers.
veltra::GraphHandler* OpenHandler();
// Destroys the handler; its window stays open. Null is ignored.
void CloseHandler(veltra::GraphHandler* handler);
}
