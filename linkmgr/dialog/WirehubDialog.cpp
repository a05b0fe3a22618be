// The link manager's dialog module, loaded the first time the dialog is asked
// for, so that the link manager itself never brings Qt into a process (the
// headless runner) that shows no windows.
#include <QApplication>
#include <QThread>
#include <cstdio>

#include "linkmgr/dialog/DialogEntry.h"
#include "linkmgr/dialog/InterfaceDialog.h"
#include "veltra/Export.h"

namespace {

// A window handle from the Qt host is its QWidget. Anything else (a token
// with no window behind it) gives no parent: a pointer is used only when it
// names a widget that exists.
QWidget* OwnerWidget(veltra::WindowHandle owner) {
  if (!owner) return nullptr;
  for (QWidget* widget : QApplication::allWidgets())
    if (reinterpret_cast<veltra::WindowHandle>(widget) == owner) return widget;
  return nullptr;
}

}  // namespace

VELTRA_C_EXPORT int RunInterfaceDialog(veltra::LinkManager* manager, veltra::WindowHandle owner, char* reason,
                                       int reasonSize) {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
    if (reason && reasonSize > 0)
      std::snprintf(reason, static_cast<size_t>(reasonSize), "%s", "no window system");
    return veltra::kDialogFailed;
  }
  if (QThread::currentThread() != QCoreApplication::instance()->thread()) {
    if (reason && reasonSize > 0)
      std::snprintf(reason, static_cast<size_t>(reasonSize), "%s", "not asked on the window thread");
    return veltra::kDialogFailed;
  }
  if (!manager) return veltra::kDialogFailed;
  QWidget* parent = OwnerWidget(owner);
  if (!parent) parent = QApplication::activeWindow();
  veltra::InterfaceDialog dialog(manager, parent);
  return dialog.exec() == QDialog::Accepted ? veltra::kDialogAccepted : veltra::kDialogCancelled;
}
