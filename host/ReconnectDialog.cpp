#include "host/ReconnectDialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace veltra {

ReconnectDialog::ReconnectDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Reconnect to running application");
  auto* layout = new QVBoxLayout(this);
  auto paragraph = [this](const char* text) {
    auto* label = new QLabel(text, this);
    label->setWordWrap(true);
    return label;
  };
  layout->addWidget(
      paragraph("Both choices attach the server to a Veltra application that is already running. "
                "The DSPs are not reset and no application is loaded: the server takes up the "
                "application where it is."));
  layout->addWidget(
      paragraph("Reconnect waits for the next command from the DSPs. Notify starts by sending a reply "
                "(0) down the host link, for an application that is waiting for the answer to a "
                "request of its own."));

  reconnect_ = new QPushButton("&Reconnect", this);
  notifyButton_ = new QPushButton("&Notify", this);
  auto* choices = new QGridLayout;
  choices->addWidget(reconnect_, 0, 0);
  auto* reconnectLabel = new QLabel("Reconnect and wait for activity from the application", this);
  reconnectLabel->setBuddy(reconnect_);
  choices->addWidget(reconnectLabel, 0, 1);
  choices->addWidget(notifyButton_, 1, 0);
  auto* notifyLabel = new QLabel("Reconnect and reply to the application", this);
  notifyLabel->setBuddy(notifyButton_);
  choices->addWidget(notifyLabel, 1, 1);
  choices->setColumnStretch(1, 1);
  layout->addSpacing(6);
  layout->addLayout(choices);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
  cancel_ = buttons->button(QDialogButtonBox::Cancel);
  layout->addWidget(buttons);
  // Return takes the plain Reconnect; Escape is Cancel.
  reconnect_->setDefault(true);
  reconnect_->setFocus();
  setMinimumWidth(440);
  // A message, not a work area: its size is what the wrapped paragraphs
  // need, which a window manager could otherwise shrink until they are cut.
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(reconnect_, &QPushButton::clicked, this, [this] {
    notify_ = 0;
    accept();
  });
  connect(notifyButton_, &QPushButton::clicked, this, [this] {
    notify_ = 1;
    accept();
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

}  // namespace veltra
