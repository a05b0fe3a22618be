// Drives a modal Qt dialog from a test: the script runs inside the dialog's
// own event loop once the dialog is up, and whatever the script leaves open is
// closed afterwards, so a failed expectation never hangs the test.
// Header only: the Qt tests include it, the others never see Qt.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <functional>

namespace veltra::test {

// The modal dialog on top, waiting up to a few seconds for it to appear.
inline QDialog* WaitForModal(QWidget* above = nullptr, int milliseconds = 5000) {
  for (int waited = 0; waited < milliseconds; waited += 10) {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (dialog && dialog != above && dialog->isVisible()) return dialog;
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return nullptr;
}

// Runs script on the next modal dialog that open() shows, then closes every
// modal dialog still open (Cancel), so that open() returns.
inline void WithModal(const std::function<void()>& open, const std::function<void(QDialog*)>& script) {
  QTimer::singleShot(0, [script] {
    QDialog* dialog = WaitForModal();
    if (dialog) script(dialog);
    while (auto* left = qobject_cast<QDialog*>(QApplication::activeModalWidget())) left->reject();
  });
  open();
}

// The same for a nested dialog that a click inside a script opens: queue it
// before the click.
inline void ThenModal(QDialog* above, const std::function<void(QDialog*)>& script) {
  QTimer::singleShot(0, [above, script] {
    QDialog* dialog = WaitForModal(above);
    if (dialog) script(dialog);
    if (dialog && dialog->isVisible()) dialog->reject();
  });
}

}  // namespace veltra::test
