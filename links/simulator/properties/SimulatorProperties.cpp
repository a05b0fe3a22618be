// The simulator's properties window, in a module of its own that the
// simulator loads when a user asks for it, so that the link library itself
// never brings Qt into a process that shows no windows.
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QThread>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cstdio>
#include <cstring>

#include "links/simulator/properties/BoardRow.h"
#include "veltra/Export.h"

namespace {

void Reason(char* reason, int size, const char* text) {
  if (reason && size > 0) std::snprintf(reason, static_cast<size_t>(size), "%s", text);
}

// A window handle from the Qt host is its QWidget; a pointer is used only
// when it names a widget that exists.
QWidget* OwnerWidget(veltra::WindowHandle owner) {
  if (owner)
    for (QWidget* widget : QApplication::allWidgets())
      if (reinterpret_cast<veltra::WindowHandle>(widget) == owner) return widget;
  return QApplication::activeWindow();
}

}  // namespace

VELTRA_C_EXPORT int ShowSimulatedBoards(veltra::WindowHandle owner, const char* driver,
                                        const veltra::sim::SimulatedBoardRow* rows, int count, int boardId,
                                        char* reason, int reasonSize) {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
    Reason(reason, reasonSize, "no window system");
    return -1;
  }
  if (QThread::currentThread() != QCoreApplication::instance()->thread()) {
    Reason(reason, reasonSize, "not asked on the window thread");
    return -1;
  }
  QDialog dialog(OwnerWidget(owner));
  dialog.setObjectName("simulatorProperties");
  dialog.setWindowTitle("Board Properties");
  auto* layout = new QVBoxLayout(&dialog);
  auto* heading =
      new QLabel(QString("%1: a simulated DSP network of %2 board%3. An application loaded on a board runs "
                         "as a process of this computer.")
                     .arg(QString::fromUtf8(driver ? driver : ""))
                     .arg(count)
                     .arg(count == 1 ? "" : "s"));
  heading->setWordWrap(true);
  layout->addWidget(heading);

  auto* boards = new QTreeWidget;
  boards->setObjectName("boards");
  boards->setRootIsDecorated(false);
  boards->setSelectionMode(QAbstractItemView::NoSelection);
  boards->setHeaderLabels({"Board", "ID", "Application process"});
  for (int index = 0; index < count; ++index) {
    const auto& row = rows[index];
    QString name = QString::fromUtf8(row.name, static_cast<qsizetype>(strnlen(row.name, sizeof row.name)));
    if (row.id == boardId) name += " (this link)";
    auto* item = new QTreeWidgetItem(
        {name, QString::number(row.id), row.pid > 0 ? QString::number(row.pid) : QString("none running")});
    if (row.id == boardId) {
      QFont bold = item->font(0);
      bold.setBold(true);
      for (int column = 0; column < 3; ++column) item->setFont(column, bold);
    }
    boards->addTopLevelItem(item);
  }
  for (int column = 0; column < 3; ++column) boards->resizeColumnToContents(column);
  boards->header()->setStretchLastSection(true);
  layout->addWidget(boards);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  layout->addWidget(buttons);
  QFontMetrics metrics(dialog.font());
  dialog.resize(60 * metrics.averageCharWidth(), (9 + count) * metrics.height() * 3 / 2);
  dialog.exec();
  return 0;
}
