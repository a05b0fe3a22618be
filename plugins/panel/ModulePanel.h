// The QMX5720 receiver module's window (combined plug-in only): the sampling
// frequency, the two trigger levels and whether the I and Q channels are
// split.
#pragma once

#include "plugins/panel/PanelWindow.h"

class QCheckBox;
class QSlider;

namespace veltra {

class ModulePanel : public PanelWindow {
  Q_OBJECT

 public:
  // Without stored values: 50 MHz (position 0), both triggers at the middle,
  // channels together.
  static constexpr int kDefaultFrequency = 0;
  static constexpr int kDefaultTrigger = 50;

  explicit ModulePanel(const std::string& branch);

  QSlider* FrequencySlider() const { return frequency_; }
  QSlider* TriggerISlider() const { return triggerI_; }
  QSlider* TriggerQSlider() const { return triggerQ_; }
  QCheckBox* SplitCheck() const { return split_; }

 protected:
  void Save() override;

 private:
  QSlider* frequency_;
  QSlider* triggerI_;
  QSlider* triggerQ_;
  QCheckBox* split_;
};

}  // namespace veltra
