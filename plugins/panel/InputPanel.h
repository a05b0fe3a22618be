// The input window: two sliders, "Frequency" and "Amplitude", that the
// application reads while it runs.
#pragma once

#include "plugins/panel/PanelWindow.h"

class QSlider;

namespace veltra {

class InputPanel : public PanelWindow {
  Q_OBJECT

 public:
  explicit InputPanel(const std::string& branch);

  QSlider* FrequencySlider() const { return frequency_; }
  QSlider* AmplitudeSlider() const { return amplitude_; }

 protected:
  void Save() override;

 private:
  QSlider* frequency_;
  QSlider* amplitude_;
};

}  // namespace veltra
