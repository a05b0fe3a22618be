#include "linkmgr/dialog/InterfaceDialog.h"

#include <QEvent>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "platform/Ui.h"
#include "veltra/LinkManager.h"

namespace veltra {

namespace {

constexpr const char* kCaption = "Link Manager";
constexpr const char* kBoardsHeading = "Boards detected  ";
constexpr const char* kIdHeading = "ID ";
// A bound on the walks over the manager's lists, whatever a library reports.
constexpr int kWalkLimit = 4096;

// Interface lines sort alphabetically without regard to case.
class InterfaceLine final : public QListWidgetItem {
 public:
  InterfaceLine(const QString& text, InterfaceEntry* entry) : QListWidgetItem(text) {
    setData(Qt::UserRole, QVariant::fromValue(reinterpret_cast<quintptr>(entry)));
  }
  bool operator<(const QListWidgetItem& other) const override {
    return text().compare(other.text(), Qt::CaseInsensitive) < 0;
  }
};

InterfaceEntry* EntryOf(const QListWidgetItem* line) {
  return line ? reinterpret_cast<InterfaceEntry*>(line->data(Qt::UserRole).value<quintptr>()) : nullptr;
}

BoardEntry* BoardOf(const QTreeWidgetItem* row) {
  return row ? reinterpret_cast<BoardEntry*>(row->data(0, Qt::UserRole).value<quintptr>()) : nullptr;
}

}  // namespace

InterfaceDialog::InterfaceDialog(LinkManager* manager, QWidget* owner)
    : QDialog(owner), manager_(manager), owner_(owner) {
  setWindowTitle("Veltra hardware interfaces");
  setObjectName("interfaceDialog");

  interfaces_ = new QListWidget;
  interfaces_->setObjectName("interfaces");
  interfaces_->setSortingEnabled(true);
  interfaces_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  auto* interfacesLabel = new QLabel("Hardware Interface");
  interfacesLabel->setBuddy(interfaces_);

  boardsLabel_ = new QLabel("Available boards");
  boardsLabel_->setObjectName("boardsLabel");
  boards_ = new QTreeWidget;
  boards_->setObjectName("boards");
  boards_->setRootIsDecorated(false);
  boards_->setSelectionMode(QAbstractItemView::SingleSelection);
  boards_->setColumnCount(2);
  boards_->setHeaderLabels({kBoardsHeading, kIdHeading});
  boards_->header()->setStretchLastSection(false);
  boards_->header()->setSectionsClickable(false);
  boards_->viewport()->installEventFilter(this);

  auto* ok = new QPushButton("OK");
  ok->setObjectName("ok");
  ok->setDefault(true);
  auto* cancel = new QPushButton("Cancel");
  cancel->setObjectName("cancel");
  auto* add = new QPushButton("Add Interface");
  add->setObjectName("addInterface");
  auto* remove = new QPushButton("Remove Interface");
  remove->setObjectName("removeInterface");
  for (QPushButton* button : {cancel, add, remove}) button->setAutoDefault(false);

  auto* buttons = new QVBoxLayout;
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  buttons->addStretch();
  buttons->addWidget(add);
  buttons->addWidget(remove);
  auto* layout = new QGridLayout(this);
  layout->addWidget(interfacesLabel, 0, 0);
  layout->addWidget(interfaces_, 1, 0);
  layout->addWidget(boardsLabel_, 0, 1);
  layout->addWidget(boards_, 1, 1);
  layout->addLayout(buttons, 0, 2, 2, 1);
  layout->setColumnStretch(0, 1);
  layout->setColumnStretch(1, 1);

  // 298 x 82 dialog units.
  QFontMetrics metrics(font());
  setMinimumSize(298 * metrics.averageCharWidth() / 4, 82 * metrics.height() / 8);

  connect(interfaces_, &QListWidget::currentItemChanged, this,
          [this](QListWidgetItem* line) { ChooseInterface(line); });
  // The board choice is the selected row, however it was selected (a click,
  // the keys, the single-board rule); a click on no row chooses none.
  connect(boards_, &QTreeWidget::itemSelectionChanged, this, [this] {
    QList<QTreeWidgetItem*> rows = boards_->selectedItems();
    boardChoice_ = rows.isEmpty() ? nullptr : BoardOf(rows.front());
  });
  connect(ok, &QPushButton::clicked, this, &InterfaceDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &InterfaceDialog::reject);
  connect(add, &QPushButton::clicked, this, &InterfaceDialog::AddInterface);
  connect(remove, &QPushButton::clicked, this, &InterfaceDialog::RemoveInterface);

  boardsLabel_->setText(QString());
  FillInterfaces();
}

void InterfaceDialog::FillInterfaces() {
  {
    QSignalBlocker quiet(interfaces_);
    interfaces_->clear();
    int count = manager_->BeginInterfaces();
    (void)count;  // the walk ends where the names do
    for (int walked = 0; walked < kWalkLimit; ++walked) {
      InterfaceEntry* entry = manager_->CurrentInterface();
      const char* name = manager_->NextInterfaceName();
      if (!name) break;
      interfaces_->addItem(new InterfaceLine(QString::fromUtf8(name), entry));
    }
    interfaces_->setCurrentItem(nullptr);
  }
  boards_->clear();
  boardChoice_ = nullptr;
  // The boards of an interface that is no longer listed are not shown either.
  boardsLabel_->setText(QString());
  if (interfaces_->count() == 1) {
    QSignalBlocker quiet(interfaces_);
    interfaces_->setCurrentRow(0);
    ChooseInterface(interfaces_->item(0));
  }
}

void InterfaceDialog::ChooseInterface(QListWidgetItem* line) {
  if (!line) return;
  manager_->SetCurrentInterface(EntryOf(line));
  int count = manager_->BeginBoards();
  boardsLabel_->setText(count == 0 ? line->text() + " - no boards detected" : line->text());

  boards_->clear();
  boardChoice_ = nullptr;
  for (int walked = 0; walked < kWalkLimit; ++walked) {
    BoardEntry* board = manager_->CurrentBoard();
    int id = manager_->CurrentBoardId();
    const char* name = manager_->NextBoardName();
    if (!name) break;
    auto* row = new QTreeWidgetItem({QString::fromUtf8(name), QString::asprintf("%d", id)});
    row->setData(0, Qt::UserRole, QVariant::fromValue(reinterpret_cast<quintptr>(board)));
    boards_->addTopLevelItem(row);
  }
  // Sorted by name, with no sort mark: the order is not the user's to change.
  boards_->sortItems(0, Qt::AscendingOrder);

  interfaceChosen_ = true;
  if (count == 1 && boards_->topLevelItemCount() == 1) {
    QTreeWidgetItem* row = boards_->topLevelItem(0);
    boards_->setCurrentItem(row);
    row->setSelected(true);
    boards_->setFocus();
    boardChoice_ = BoardOf(row);
  }
}

void InterfaceDialog::ChooseBoardAt(const QPoint& position) {
  QTreeWidgetItem* row = boards_->itemAt(position);
  if (row) {
    boards_->setCurrentItem(row);
    row->setSelected(true);
  } else {
    boards_->clearSelection();
  }
  boardChoice_ = BoardOf(row);
}

bool InterfaceDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == boards_->viewport()) {
    if (event->type() == QEvent::MouseButtonPress) {
      ChooseBoardAt(static_cast<QMouseEvent*>(event)->position().toPoint());
    } else if (event->type() == QEvent::MouseButtonDblClick) {
      ChooseBoardAt(static_cast<QMouseEvent*>(event)->position().toPoint());
      accept();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void InterfaceDialog::Stop(const char* text) {
  Ui::MessageBox(reinterpret_cast<WindowHandle>(static_cast<QWidget*>(this)), text, kCaption,
                 MessageIcon::Error);
}

void InterfaceDialog::accept() {
  if (!boardChoice_) {
    Stop(interfaceChosen_ ? "No board has been selected" : "No hardware interface has been selected");
    return;
  }
  manager_->SelectBoard(boardChoice_);
  QDialog::accept();
}

void InterfaceDialog::AddInterface() {
  QFileDialog dialog(owner_ ? owner_ : this, "Select Link Interface");
  dialog.setObjectName("addInterfaceDialog");
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  // A link interface library is a shared object here: Name.so.
  dialog.setNameFilter("Link Interfaces (.so) (*.so)");
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  dialog.setDefaultSuffix("so");
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  QByteArray path = dialog.selectedFiles().front().toUtf8();
  manager_->AddInterface(path.constData());
  FillInterfaces();
}

void InterfaceDialog::RemoveInterface() {
  QListWidgetItem* line = interfaces_->currentItem();
  if (!line || !line->isSelected())
    Stop("No hardware interface selected");
  else
    manager_->RemoveInterface(EntryOf(line));
  boardChoice_ = nullptr;
  FillInterfaces();
}

void InterfaceDialog::SizeColumns() {
  // The two columns share the width as their headings' lengths do, 17 : 3.
  int width = boards_->viewport()->width();
  int first = width * 17 / 20;
  boards_->header()->resizeSection(0, first);
  boards_->header()->resizeSection(1, width - first);
}

void InterfaceDialog::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  SizeColumns();
}

void InterfaceDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  SizeColumns();
}

}  // namespace veltra
