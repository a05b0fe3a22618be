// "Veltra hardware interfaces": the modal dialog in which the user adds and
// removes link interface libraries and chooses the board the server uses.
// It works only through the link manager's own operations.
#pragma once

#include <QDialog>

#include "veltra/WindowHandle.h"

class QLabel;
class QListWidget;
class QListWidgetItem;
class QTreeWidget;

namespace veltra {

class LinkManager;
struct BoardEntry;

class InterfaceDialog final : public QDialog {
  Q_OBJECT

 public:
  // owner is the window that owns the dialog's file dialog and boxes.
  InterfaceDialog(LinkManager* manager, QWidget* owner);

 public Q_SLOTS:
  void accept() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void FillInterfaces();
  void ChooseInterface(QListWidgetItem* line);
  void ChooseBoardAt(const QPoint& position);
  void AddInterface();
  void RemoveInterface();
  void SizeColumns();
  void Stop(const char* text);

  LinkManager* manager_;
  QWidget* owner_;
  QListWidget* interfaces_ = nullptr;
  QLabel* boardsLabel_ = nullptr;
  QTreeWidget* boards_ = nullptr;
  BoardEntry* boardChoice_ = nullptr;
  bool interfaceChosen_ = false;
};

}  // namespace veltra
