#include "host/StandardInputDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "host/WindowPlacement.h"
#include "platform/settings/Profile.h"

namespace veltra {

namespace {

bool IsReturn(int key) {
  return key == Qt::Key_Return || key == Qt::Key_Enter;
}

}  // namespace

StandardInputDialog::StandardInputDialog(QWidget* parent, const QString& title, bool echo) : QDialog(parent) {
  setWindowTitle(title);
  line_ = new QLineEdit(this);
  enter_ = new QPushButton("Enter", this);
  echo_ = new QCheckBox("Echo stdin to stdout", this);
  echo_->setChecked(echo);
  terminate_ = new QPushButton("Terminate Application", this);
  endOfFile_ = new QPushButton("End of File", this);
  // The keyboard always stays in the line: a click on a button or on the
  // check box does not take it away, and Return needs no default button.
  for (QAbstractButton* button :
       {static_cast<QAbstractButton*>(enter_), static_cast<QAbstractButton*>(echo_),
        static_cast<QAbstractButton*>(terminate_), static_cast<QAbstractButton*>(endOfFile_)})
    button->setFocusPolicy(Qt::NoFocus);
  for (QPushButton* button : {enter_, terminate_, endOfFile_}) button->setAutoDefault(false);

  auto* top = new QHBoxLayout;
  top->addWidget(line_, 1);
  top->addWidget(enter_);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(echo_);
  bottom->addStretch(1);
  bottom->addWidget(terminate_);
  bottom->addWidget(endOfFile_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(bottom);
  resize(480, sizeHint().height());

  connect(enter_, &QPushButton::clicked, this, [this] { Finish(StandardInputResult::Line); });
  connect(endOfFile_, &QPushButton::clicked, this, [this] { Finish(StandardInputResult::EndOfFile); });
  connect(terminate_, &QPushButton::clicked, this, [this] { Finish(StandardInputResult::Terminate); });
}

StandardInputDialog::~StandardInputDialog() {
  if (running_) qApp->removeEventFilter(this);
}

bool StandardInputDialog::eventFilter(QObject* watched, QEvent* event) {
  if (!running_ || finished_) return QDialog::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::ShortcutOverride: {
      // The keys this loop takes never go to a shortcut of another window.
      auto* key = static_cast<QKeyEvent*>(event);
      if (IsReturn(key->key()) || (key->key() == Qt::Key_Z && ctrlDown_)) {
        event->accept();
        return true;
      }
      break;
    }
    case QEvent::KeyPress: {
      auto* key = static_cast<QKeyEvent*>(event);
      if (key->key() == Qt::Key_Control) {
        ctrlDown_ = true;
      } else if (IsReturn(key->key())) {
        Finish(StandardInputResult::Line);
        return true;
      } else if (key->key() == Qt::Key_Z && ctrlDown_) {
        Finish(StandardInputResult::CtrlZ);
        return true;
      }
      break;
    }
    case QEvent::KeyRelease:
      if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Control) ctrlDown_ = false;
      break;
    case QEvent::ApplicationDeactivate:
      // The release of a Ctrl held while the program loses the keyboard never
      // arrives; a flag left set would turn the next plain Z into Ctrl+Z.
      ctrlDown_ = false;
      break;
    default:
      break;
  }
  return QDialog::eventFilter(watched, event);
}

void StandardInputDialog::keyPressEvent(QKeyEvent* event) {
  // No Escape, and Return is the loop's: nothing of a dialog's own keys.
  event->accept();
}

bool StandardInputDialog::focusNextPrevChild(bool) {
  return true;  // Tab stays in the line
}

void StandardInputDialog::closeEvent(QCloseEvent* event) {
  Finish(StandardInputResult::EndOfFile);
  event->accept();
}

void StandardInputDialog::reject() {
  Finish(StandardInputResult::EndOfFile);
}

void StandardInputDialog::End(StandardInputResult::Kind kind) {
  Finish(kind);
}

void StandardInputDialog::Finish(StandardInputResult::Kind kind) {
  if (finished_) return;
  finished_ = true;
  result_.kind = kind;
  if (kind == StandardInputResult::Line) result_.text = line_->text().toLocal8Bit().toStdString();
  if (loop_) loop_->quit();
}

void StandardInputDialog::ShowInStoredPlace() {
  QWidget* owner = parentWidget();
  // Where the dialog would appear by itself: over the middle of the main window.
  QPoint created = owner ? owner->frameGeometry().center() - QPoint(width() / 2, height() / 2) : pos();
  int top = GetProfileInt(kSettingsSection, "StdinT", created.y());
  int left = GetProfileInt(kSettingsSection, "StdinL", created.x());
  auto place = [&](QSize size) {
    QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    if (!screen) return DialogPlace{top, left};
    QRect available = screen->availableGeometry();
    WorkArea area{available.width(), available.height(), available.x() + available.width(),
                  available.y() + available.height()};
    return PlaceDialog(top, left, size.width(), size.height(), area);
  };
  DialogPlace placed = place(size());
  move(placed.left, placed.top);
  show();
  // The window frame is known only now; it counts in keeping the dialog on
  // the work area.
  placed = place(frameGeometry().size());
  if (pos() != QPoint(placed.left, placed.top)) move(placed.left, placed.top);
  if (placed.top != top) WriteProfileInt(kSettingsSection, "StdinT", placed.top);
  if (placed.left != left) WriteProfileInt(kSettingsSection, "StdinL", placed.left);
}

StandardInputResult StandardInputDialog::Run() {
  result_ = StandardInputResult{};
  finished_ = false;
  ctrlDown_ = false;
  ShowInStoredPlace();
  raise();
  activateWindow();
  line_->setFocus();

  running_ = true;
  qApp->installEventFilter(this);
  QEventLoop loop;
  loop_ = &loop;
  if (!finished_) loop.exec();
  loop_ = nullptr;
  qApp->removeEventFilter(this);
  running_ = false;

  result_.echo = echo_->isChecked();
  WriteProfileInt(kSettingsSection, "StdinT", pos().y());
  WriteProfileInt(kSettingsSection, "StdinL", pos().x());
  hide();
  return result_;
}

}  // namespace veltra
