// User Guides: the guides of the installation by their description, sorted;
// "Open" (or a double click, or Return) takes the selected one.
#pragma once

#include <QDialog>
#include <vector>

#include "host/UserGuides.h"

class QListWidget;
class QPushButton;

namespace veltra {

class UserGuidesDialog final : public QDialog {
  Q_OBJECT

 public:
  UserGuidesDialog(QWidget* parent, const std::vector<UserGuide>& guides);

  // After exec() returned Accepted: the index of the chosen guide.
  int Chosen() const { return chosen_; }

  QListWidget* List() const { return list_; }
  QPushButton* OpenButton() const { return open_; }

 private:
  void OpenSelected();

  QListWidget* list_;
  QPushButton* open_;
  int chosen_ = -1;
};

}  // namespace veltra
