#include "plugins/panel/StatusPanel.h"

#include <QLabel>
#include <QPushButton>

#include "plugins/panel/BigText.h"
#include "plugins/panel/PanelPlacement.h"

namespace veltra {

StatusPanel::StatusPanel(const std::string& branch)
    : PanelWindow(branch, "MainCtrl", "Orv Veltra FPGA - Demo", 254, 118) {
  AddPicture(7, 7);
  display_ = new BigText(this);
  display_->setObjectName(QStringLiteral("display"));
  display_->setGeometry(DialogUnits(36, 7, 211, 62));
  AddText(WebSiteLine(), 7, 78, 240, 10)->setObjectName(QStringLiteral("web"));
  terminate_ = new QPushButton(QStringLiteral("&Terminate"), this);
  terminate_->setGeometry(DialogUnits(192, 95, 55, 15));
  connect(terminate_, &QPushButton::clicked, this, [this] {
    terminated_ = true;
    close();
  });
  PlaceAt(key_.ReadInt("left"), key_.ReadInt("top"), PanelPlacement::AboveMiddle(Screen(), size()));
}

void StatusPanel::ShowText(const QString& text) {
  display_->SetText(text);
}

void StatusPanel::Save() {
  key_.WriteInt("left", pos().x());
  key_.WriteInt("top", pos().y());
}

}  // namespace veltra
