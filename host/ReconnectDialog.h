// Reconnect to running application: attaches the server to an application
// that is already running, either waiting for its next command (Reconnect)
// or first sending it a reply of 0 (Notify).
#pragma once

#include <QDialog>
#include <cstdint>

class QPushButton;

namespace veltra {

class ReconnectDialog final : public QDialog {
  Q_OBJECT

 public:
  explicit ReconnectDialog(QWidget* parent);

  // After exec() returned Accepted: whether Notify was chosen.
  uint8_t NotifyFlag() const { return notify_; }

  QPushButton* ReconnectButton() const { return reconnect_; }
  QPushButton* NotifyButton() const { return notifyButton_; }
  QPushButton* CancelButton() const { return cancel_; }

 private:
  QPushButton* reconnect_;
  QPushButton* notifyButton_;
  QPushButton* cancel_;
  uint8_t notify_ = 0;
};

}  // namespace veltra
