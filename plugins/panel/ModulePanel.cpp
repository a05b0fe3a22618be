#include "plugins/panel/ModulePanel.h"

#include <QCheckBox>
#include <QSlider>

#include "plugins/panel/PanelSettings.h"

namespace veltra {

ModulePanel::ModulePanel(const std::string& branch)
    : PanelWindow(branch, "Ctrl5720", "Veltra demo - QMX5720", 254, 168) {
  AddPicture(7, 7);
  auto slider = [this](const char* name, int y) {
    AddText(QString::fromLatin1(name), 36, y, 100, 10);
    auto* bar = new QSlider(Qt::Horizontal, this);
    bar->setObjectName(QString::fromLatin1(name));
    bar->setRange(0, 100);
    bar->setTickPosition(QSlider::TicksBelow);
    bar->setTickInterval(10);
    bar->setGeometry(DialogUnits(36, y + 11, 211, 18));
    return bar;
  };
  frequency_ = slider("Sampling Frequency", 9);
  triggerI_ = slider("Trigger I", 45);
  triggerQ_ = slider("Trigger Q", 81);
  split_ = new QCheckBox(QStringLiteral("Split channel I and Q"), this);
  split_->setGeometry(DialogUnits(36, 122, 150, 12));
  AddText(WebSiteLine(), 7, 145, 240, 18);

  move(key_.ReadInt("left").value_or(0), key_.ReadInt("top").value_or(0));
  split_->setChecked(key_.ReadInt("Split5720").value_or(0) != 0);
  frequency_->setValue(PanelRules::SliderPosition(key_.ReadInt("Freq5720"), kDefaultFrequency));
  triggerI_->setValue(PanelRules::SliderPosition(key_.ReadInt("TrigI5720"), kDefaultTrigger));
  triggerQ_->setValue(PanelRules::SliderPosition(key_.ReadInt("TrigQ5720"), kDefaultTrigger));
}

void ModulePanel::Save() {
  key_.WriteInt("left", pos().x());
  key_.WriteInt("top", pos().y());
  key_.WriteInt("Freq5720", frequency_->value());
  key_.WriteInt("TrigI5720", triggerI_->value());
  key_.WriteInt("TrigQ5720", triggerQ_->value());
  key_.WriteInt("Split5720", split_->isChecked() ? 1 : 0);
}

}  // namespace veltra
