// A plain line dialog for the application's standard input: the line, an
// "Enter" button, "End of File", "Terminate Application" and the echo check
// box. It runs its own event loop, so the main window's commands (Stop among
// them) still work while it waits.
#pragma once

#include <QDialog>
#include <string>

class QCheckBox;
class QLineEdit;

namespace veltra {

struct StandardInputResult {
  enum Kind { Line, EndOfFile, CtrlZ, Terminate };
  Kind kind = EndOfFile;
  std::string text;
  bool echo = true;
};

class LineInputDialog final : public QDialog {
  Q_OBJECT

 public:
  LineInputDialog(QWidget* parent, const QString& title, bool echo);
  // Shows the dialog and waits for the user. Closed in any other way (its
  // frame, Stop, quitting) it answers End of File.
  StandardInputResult Run();
  QLineEdit* LineEdit() const { return line_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Finish(StandardInputResult::Kind kind);

  QLineEdit* line_;
  QCheckBox* echo_;
  StandardInputResult result_;
  bool finished_ = false;
};

}  // namespace veltra
