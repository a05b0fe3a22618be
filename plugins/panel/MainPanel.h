// The main control panel, "Orv Veltra FPGA": the sampling frequencies of the
// ADC and DAC and the test pattern the DAC makes. The application reads it
// through TakeSettings, which is also when the slider positions are taken.
#pragma once

#include "plugins/panel/PanelSettings.h"
#include "plugins/panel/PanelWindow.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;

namespace veltra {

class BigText;

class MainPanel : public PanelWindow {
  Q_OBJECT

 public:
  explicit MainPanel(const std::string& branch);

  // Takes the slider positions (rewriting a value label only when its text
  // changes) and returns the block as the application gets it.
  PanelSettings TakeSettings();
  const MainPanelState& State() const { return state_; }

  // The file "&Load" settles on, as if chosen in its dialog.
  Q_INVOKABLE void LoadPatternFile(const QString& path);

  QCheckBox* PatternCheck() const { return dacAsPattern_; }
  QRadioButton* SineRadio() const { return sine_; }
  QRadioButton* CustomRadio() const { return custom_; }
  QSlider* FrequencySlider() const { return frequency_; }
  QSlider* AmplitudeSlider() const { return amplitude_; }
  QLabel* FrequencyLabel() const { return frequencyValue_; }
  QLabel* AmplitudeLabel() const { return amplitudeValue_; }
  QComboBox* AdcList() const { return adc_; }
  QComboBox* DacList() const { return dac_; }
  QLineEdit* FileEdit() const { return file_; }
  QPushButton* LoadButton() const { return load_; }
  QPushButton* TerminateButton() const { return terminate_; }

 protected:
  void Save() override;

 private:
  void ShowState();
  void Load();

  MainPanelState state_;
  BigText* title_;
  QCheckBox* dacAsPattern_;
  QRadioButton* sine_;
  QRadioButton* custom_;
  QSlider* frequency_;
  QSlider* amplitude_;
  QLabel* frequencyValue_;
  QLabel* amplitudeValue_;
  QLineEdit* file_;
  QPushButton* load_;
  QComboBox* adc_;
  QComboBox* dac_;
  QPushButton* terminate_;
};

}  // namespace veltra
