#include "host/UserGuidesDialog.h"

#include <QDialogButtonBox>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <numeric>

namespace veltra {

UserGuidesDialog::UserGuidesDialog(QWidget* parent, const std::vector<UserGuide>& guides) : QDialog(parent) {
  setWindowTitle("User Guides");
  list_ = new QListWidget(this);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  // Sorted by description without regard to case, as a reader looks for a
  // board's name.
  std::vector<int> order(guides.size());
  std::iota(order.begin(), order.end(), 0);
  auto description = [&](int i) {
    return QString::fromLocal8Bit(guides[static_cast<size_t>(i)].description.c_str());
  };
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    return description(a).compare(description(b), Qt::CaseInsensitive) < 0;
  });
  for (int i : order) {
    auto* item = new QListWidgetItem(description(i));
    item->setData(Qt::UserRole, i);
    list_->addItem(item);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
  open_ = buttons->addButton("&Open", QDialogButtonBox::AcceptRole);
  open_->setDefault(true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_);
  layout->addWidget(buttons);
  resize(360, 240);

  // Open needs a guide: the first is selected to start with, and Open is
  // greyed while none is.
  if (list_->count() > 0) list_->setCurrentRow(0);
  auto selectionChanged = [this] { open_->setEnabled(!list_->selectedItems().isEmpty()); };
  connect(list_, &QListWidget::itemSelectionChanged, this, selectionChanged);
  selectionChanged();
  list_->setFocus();

  connect(list_, &QListWidget::itemDoubleClicked, this, [this] { OpenSelected(); });
  connect(buttons, &QDialogButtonBox::accepted, this, [this] { OpenSelected(); });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void UserGuidesDialog::OpenSelected() {
  QList<QListWidgetItem*> selected = list_->selectedItems();
  if (selected.isEmpty()) return;
  chosen_ = selected[0]->data(Qt::UserRole).toInt();
  accept();
}

}  // namespace veltra
