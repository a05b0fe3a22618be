// The Standard input dialog: one line for the application's ReadLine. It
// runs its own event loop on the GUI thread and sees every event of the
// program while it does: Return pressed in any of the program's windows
// enters the line, and Z pressed while the Ctrl key is down (by the Ctrl
// flag the loop keeps, not by the modifiers of the Z) answers Ctrl+Z. There
// is no dialog keyboard navigation: Tab and Escape do nothing here. The main
// window stays usable meanwhile (Stop among its commands).
#pragma once

#include <QDialog>
#include <QPointer>
#include <string>

class QCheckBox;
class QEventLoop;
class QLineEdit;
class QPushButton;

namespace veltra {

struct StandardInputResult {
  enum Kind { Line, EndOfFile, CtrlZ, Terminate };
  Kind kind = EndOfFile;
  std::string text;
  bool echo = true;
};

class StandardInputDialog final : public QDialog {
  Q_OBJECT

 public:
  StandardInputDialog(QWidget* parent, const QString& title, bool echo);
  ~StandardInputDialog() override;

  // Places and shows the dialog, runs its loop until it ends, stores its
  // place and hides it.
  StandardInputResult Run();
  // Ends the dialog from outside (Stop, quitting) as kind; what was typed is
  // not entered.
  void End(StandardInputResult::Kind kind);
  // Any other way of closing it (its frame, the toolkit closing dialogs)
  // answers End of File, so the application is never left waiting.
  void reject() override;

  QLineEdit* LineEdit() const { return line_; }
  QPushButton* EnterButton() const { return enter_; }
  QPushButton* EndOfFileButton() const { return endOfFile_; }
  QPushButton* TerminateButton() const { return terminate_; }
  QCheckBox* EchoBox() const { return echo_; }
  bool CtrlDown() const { return ctrlDown_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool focusNextPrevChild(bool next) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void Finish(StandardInputResult::Kind kind);
  // Shows the dialog where "StdinT" and "StdinL" say, kept on the work area.
  void ShowInStoredPlace();

  QLineEdit* line_;
  QPushButton* enter_;
  QCheckBox* echo_;
  QPushButton* terminate_;
  QPushButton* endOfFile_;
  StandardInputResult result_;
  bool finished_ = false;
  bool running_ = false;
  bool ctrlDown_ = false;
  QPointer<QEventLoop> loop_;
};

}  // namespace veltra
