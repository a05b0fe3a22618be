#include "plugins/panel/InputPanel.h"

#include <QLabel>
#include <QSlider>

#include "plugins/panel/PanelPlacement.h"
#include "plugins/panel/PanelSettings.h"

namespace veltra {

InputPanel::InputPanel(const std::string& branch)
    : PanelWindow(branch, "DlgInput", "Orv Veltra FPGA - Demo", 254, 148) {
  AddPicture(7, 7);
  AddText(
      QStringLiteral("Use this dialog to select the frequency and amplitude values you want t use for your "
                     "task."),
      36, 9, 211, 20);
  auto slider = [this](const char* name, int y) {
    AddText(QString::fromLatin1(name), 7, y, 50, 10);
    auto* bar = new QSlider(Qt::Horizontal, this);
    bar->setObjectName(QString::fromLatin1(name));
    bar->setRange(0, 100);
    bar->setTickPosition(QSlider::TicksBelow);
    bar->setTickInterval(10);
    bar->setGeometry(DialogUnits(7, y + 11, 240, 18));
    AddText(QStringLiteral("0 %"), 7, y + 30, 30, 9);
    QLabel* end = AddText(QStringLiteral("100 %"), 207, y + 30, 40, 9);
    end->setAlignment(Qt::AlignRight | Qt::AlignTop);
    return bar;
  };
  frequency_ = slider("Frequency", 36);
  amplitude_ = slider("Amplitude", 90);
  PlaceAt(key_.ReadInt("input_left"), key_.ReadInt("input_top"),
          PanelPlacement::BelowMiddle(Screen(), size()));
  amplitude_->setValue(PanelRules::SliderPosition(key_.ReadInt("Amp"), 100));
  frequency_->setValue(PanelRules::SliderPosition(key_.ReadInt("Freq"), 100));
}

void InputPanel::Save() {
  key_.WriteInt("input_left", pos().x());
  key_.WriteInt("input_top", pos().y());
  key_.WriteInt("Amp", amplitude_->value());
  key_.WriteInt("Freq", frequency_->value());
}

}  // namespace veltra
