// Where the main window goes at start-up: the first instance's stored
// rectangle, moved 28 pixels right and down per earlier instance, kept on the
// desktop's work area and at least 250 x 200 pixels.
#pragma once

namespace veltra {

struct WindowRect {
  int top = 0;
  int bottom = 0;
  int left = 0;
  int right = 0;
  bool operator==(const WindowRect&) const = default;
};

struct WorkArea {
  int width = 0;   // W
  int height = 0;  // H
  int right = 0;   // R, the right edge's coordinate
  int bottom = 0;  // B, the bottom edge's coordinate
};

constexpr int kInstanceOffset = 28;
constexpr int kMinimumWidth = 250;
constexpr int kMinimumHeight = 200;

// instanceCounter counts from 1 for the first instance.
WindowRect PlaceWindow(const WindowRect& stored, int instanceCounter, const WorkArea& area);

// Where a dialog of width x height goes from its stored top and left: an edge
// beyond the work area is brought onto it, and a negative value becomes 0.
struct DialogPlace {
  int top = 0;
  int left = 0;
  bool operator==(const DialogPlace&) const = default;
};
DialogPlace PlaceDialog(int top, int left, int width, int height, const WorkArea& area);

}  // namespace veltra
