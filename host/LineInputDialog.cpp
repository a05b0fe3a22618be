#include "host/LineInputDialog.h"

#include <QCheckBox>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace veltra {

LineInputDialog::LineInputDialog(QWidget* parent, const QString& title, bool echo) : QDialog(parent) {
  setWindowTitle(title);
  line_ = new QLineEdit(this);
  line_->installEventFilter(this);
  auto* enter = new QPushButton("Enter", this);
  echo_ = new QCheckBox("Echo stdin to stdout", this);
  echo_->setChecked(echo);
  auto* terminate = new QPushButton("Terminate Application", this);
  auto* endOfFile = new QPushButton("End of File", this);
  enter->setAutoDefault(false);
  terminate->setAutoDefault(false);
  endOfFile->setAutoDefault(false);

  auto* top = new QHBoxLayout;
  top->addWidget(line_, 1);
  top->addWidget(enter);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(echo_);
  bottom->addStretch(1);
  bottom->addWidget(terminate);
  bottom->addWidget(endOfFile);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(bottom);
  resize(460, sizeHint().height());

  connect(enter, &QPushButton::clicked, this, [this] { Finish(StandardInputResult::Line); });
  connect(line_, &QLineEdit::returnPressed, this, [this] { Finish(StandardInputResult::Line); });
  connect(endOfFile, &QPushButton::clicked, this, [this] { Finish(StandardInputResult::EndOfFile); });
  connect(terminate, &QPushButton::clicked, this, [this] { Finish(StandardInputResult::Terminate); });
}

bool LineInputDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == line_ && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Z && (key->modifiers() & Qt::ControlModifier)) {
      Finish(StandardInputResult::CtrlZ);
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void LineInputDialog::Finish(StandardInputResult::Kind kind) {
  if (finished_) return;
  finished_ = true;
  result_.kind = kind;
  if (kind == StandardInputResult::Line) result_.text = line_->text().toLocal8Bit().toStdString();
  accept();
}

StandardInputResult LineInputDialog::Run() {
  result_ = StandardInputResult{};
  finished_ = false;
  QEventLoop loop;
  connect(this, &QDialog::finished, &loop, &QEventLoop::quit);
  show();
  raise();
  activateWindow();
  line_->setFocus();
  loop.exec();
  hide();
  result_.echo = echo_->isChecked();
  if (!finished_) result_.kind = StandardInputResult::EndOfFile;
  return result_;
}

}  // namespace veltra
