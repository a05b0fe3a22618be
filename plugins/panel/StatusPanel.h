// The status window: a large text that the application replaces, the
// maker's line and "&Terminate", which the application learns of through the
// result of its next text.
#pragma once

#include "plugins/panel/PanelWindow.h"

class QPushButton;

namespace veltra {

class BigText;

class StatusPanel : public PanelWindow {
  Q_OBJECT

 public:
  explicit StatusPanel(const std::string& branch);

  void ShowText(const QString& text);
  bool Terminated() const { return terminated_; }
  BigText* Display() const { return display_; }

 protected:
  void Save() override;

 private:
  BigText* display_;
  QPushButton* terminate_;
  bool terminated_ = false;
};

}  // namespace veltra
