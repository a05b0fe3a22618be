// The options sheet module, loaded by the options manager the first time the
// sheet is asked for, so that the manager itself never brings Qt into a
// process (the headless runner) that shows no windows.
#include <QApplication>
#include <QThread>
#include <cstdio>

#include "options/sheet/OptionsSheet.h"
#include "options/sheet/SheetEntry.h"
#include "veltra/Export.h"

namespace {

// A window handle from the Qt host is its QWidget. Anything else (a token
// with no window behind it) gives no parent: a pointer is used only when it
// names a widget that exists.
QWidget* OwnerWidget(veltra::WindowHandle owner) {
  if (!owner) return QApplication::activeWindow();
  for (QWidget* widget : QApplication::allWidgets())
    if (reinterpret_cast<veltra::WindowHandle>(widget) == owner) return widget;
  return QApplication::activeWindow();
}

}  // namespace

VELTRA_C_EXPORT int RunOptionsSheet(veltra::OptionsManager* manager, veltra::WindowHandle owner, char* reason,
                                    int reasonSize) {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
    if (reason && reasonSize > 0)
      std::snprintf(reason, static_cast<size_t>(reasonSize), "%s", "no window system");
    return veltra::kSheetFailed;
  }
  if (QThread::currentThread() != QCoreApplication::instance()->thread()) {
    if (reason && reasonSize > 0)
      std::snprintf(reason, static_cast<size_t>(reasonSize), "%s", "not asked on the window thread");
    return veltra::kSheetFailed;
  }
  if (!manager || !manager->GetOptions()) return veltra::kSheetFailed;
  veltra::OptionsSheet sheet(manager, OwnerWidget(owner));
  return sheet.exec() == QDialog::Accepted ? veltra::kSheetAccepted : veltra::kSheetCancelled;
}
