// Where the three value labels of a cursor bar go: centred on their cursor
// lines where there is room, else pushed apart so that neighbours keep at
// least 1.25 label widths between centres, and kept inside the bar.
#pragma once

namespace veltra {

struct CursorLabelCentres {
  int low;
  int middle;
  int high;
};

class CursorBarLayout {
 public:
  // pl <= pm <= pr: the cursor pixels along the bar; widestLabel: the pixel
  // width of the widest of the three labels; barLength: the bar's length.
  static CursorLabelCentres PlaceLabels(int pl, int pm, int pr, int widestLabel, int barLength);
  // A label's starting pixel: its centre less half its width, not below 0.
  static int LabelStart(int centre, int width);
};

}  // namespace veltra
