// "Graph properties": the user locks titles, units and ranges of a graph
// against what the DSP program sends. A lock box acts at once; OK takes the
// edits of the locked values; Cancel leaves what the boxes already did.
#pragma once

#include <QDialog>
#include <array>
#include <string>

#include "plugins/graph/GraphProperties.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace veltra {

class GraphWindow;

class GraphPropertiesDialog : public QDialog {
  Q_OBJECT

 public:
  explicit GraphPropertiesDialog(GraphWindow& window);

  QCheckBox* LockBox(GraphProperty p) const { return boxes_[Index(p)]; }
  QLineEdit* Edit(GraphProperty p) const { return edits_[Index(p)]; }
  QPushButton* AutoButton() const { return autoButton_; }

  // "%f" into a 32-bit float, as typed numbers are read: leading blanks and
  // trailing text are ignored. False when the text starts with no number.
  static bool ParseFloat(const std::string& text, float& value);

  void accept() override;

 private:
  void Fill();
  void LockClicked(GraphProperty p);
  void Auto();
  QRect DialogUnits(int x, int y, int width, int height) const;

  GraphWindow& window_;
  std::array<QCheckBox*, kGraphPropertyCount> boxes_{};
  std::array<QLineEdit*, kGraphPropertyCount> edits_{};
  QPushButton* autoButton_ = nullptr;
};

}  // namespace veltra
