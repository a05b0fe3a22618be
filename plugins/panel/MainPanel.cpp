#include "plugins/panel/MainPanel.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include "plugins/panel/BigText.h"
#include "plugins/panel/PanelPlacement.h"

namespace veltra {
namespace {

QString Mhz(int value) {
  return QStringLiteral("%1 MHz").arg(value);
}

void SetLabel(QLabel* label, const QString& text) {
  // Rewritten only when it changes, so reading in a loop does not repaint it.
  if (label->text() != text) label->setText(text);
}

}  // namespace

MainPanel::MainPanel(const std::string& branch)
    : PanelWindow(branch, "Ctrl5610", "Orv Veltra FPGA", 249, 283) {
  auto group = [this](const char* title, int x, int y, int w, int h) {
    auto* box = new QGroupBox(QString::fromLatin1(title), this);
    box->setGeometry(DialogUnits(x, y, w, h));
    box->lower();
  };
  AddPicture(7, 7);
  title_ = new BigText(this, 25, 10);
  title_->setGeometry(DialogUnits(36, 7, 206, 22));
  title_->SetText(QStringLiteral("Orv Veltra SDR"));
  AddText(WebSiteLine(), 36, 31, 206, 10);

  group("Mode", 7, 45, 235, 28);
  dacAsPattern_ = new QCheckBox(QStringLiteral("Use DAC as pattern generator"), this);
  dacAsPattern_->setGeometry(DialogUnits(15, 57, 200, 10));

  group("Pattern", 7, 77, 235, 118);
  sine_ = new QRadioButton(QStringLiteral("Sine wave"), this);
  sine_->setGeometry(DialogUnits(15, 89, 100, 10));
  auto slider = [this](const char* name, int y, QLabel*& value) {
    AddText(QString::fromLatin1(name), 27, y + 3, 42, 10);
    auto* bar = new QSlider(Qt::Horizontal, this);
    bar->setObjectName(QString::fromLatin1(name));
    bar->setRange(0, 100);
    bar->setGeometry(DialogUnits(70, y, 125, 15));
    value = AddText(QString(), 200, y + 3, 38, 10);
    value->setWordWrap(false);
    return bar;
  };
  frequency_ = slider("Frequency", 102, frequencyValue_);
  amplitude_ = slider("Amplitude", 120, amplitudeValue_);
  custom_ = new QRadioButton(QStringLiteral("Custom pattern"), this);
  custom_->setGeometry(DialogUnits(15, 142, 100, 10));
  auto* radios = new QButtonGroup(this);
  radios->addButton(sine_);
  radios->addButton(custom_);
  file_ = new QLineEdit(this);
  file_->setReadOnly(true);
  file_->setGeometry(DialogUnits(27, 157, 160, 13));
  load_ = new QPushButton(QStringLiteral("&Load"), this);
  load_->setGeometry(DialogUnits(192, 156, 44, 15));

  group("Sampling frequency", 7, 199, 235, 40);
  auto list = [this](const char* name, int x) {
    AddText(QString::fromLatin1(name), x, 217, 20, 10);
    auto* box = new QComboBox(this);
    box->setObjectName(QString::fromLatin1(name));
    for (int32_t mhz : PanelRules::kFrequencies) box->addItem(Mhz(mhz));
    box->setGeometry(DialogUnits(x + 22, 214, 70, 14));
    return box;
  };
  adc_ = list("ADC", 15);
  dac_ = list("DAC", 127);

  terminate_ = new QPushButton(QStringLiteral("&Terminate"), this);
  terminate_->setGeometry(DialogUnits(187, 256, 55, 15));

  connect(adc_, &QComboBox::activated, this,
          [this](int index) { state_.block.adcMhz = PanelRules::kFrequencies.at(index); });
  connect(dac_, &QComboBox::activated, this,
          [this](int index) { state_.block.dacMhz = PanelRules::kFrequencies.at(index); });
  connect(dacAsPattern_, &QCheckBox::clicked, this, [this](bool checked) {
    state_.block.dacAsPattern = checked;
    ShowState();
  });
  connect(sine_, &QRadioButton::clicked, this, [this] {
    state_.customPattern = false;
    state_.block.patternPath.clear();
    ShowState();
  });
  connect(custom_, &QRadioButton::clicked, this, [this] {
    state_.customPattern = true;
    state_.block.patternPath = state_.patternFile;
    ShowState();
  });
  connect(load_, &QPushButton::clicked, this, &MainPanel::Load);
  connect(terminate_, &QPushButton::clicked, this, [this] {
    state_.block.terminate = true;
    close();
  });

  state_ = MainPanelState::Load(key_);
  const std::optional<int32_t> x = key_.ReadInt("xpos"), y = key_.ReadInt("ypos");
  PlaceAt(x, y, PanelPlacement::TopRight(Screen(), size()));
  ShowState();
}

void MainPanel::ShowState() {
  const PanelSettings& block = state_.block;
  dacAsPattern_->setChecked(block.dacAsPattern);
  const PatternControls usable = PatternControlsFor(block.dacAsPattern, state_.customPattern);
  for (QWidget* control : {static_cast<QWidget*>(sine_), static_cast<QWidget*>(custom_),
                           static_cast<QWidget*>(file_), static_cast<QWidget*>(load_)})
    control->setEnabled(usable.radios);
  for (QWidget* control : {static_cast<QWidget*>(frequency_), static_cast<QWidget*>(amplitude_),
                           static_cast<QWidget*>(frequencyValue_), static_cast<QWidget*>(amplitudeValue_)})
    control->setEnabled(usable.sliders);
  adc_->setCurrentIndex(adc_->findText(Mhz(block.adcMhz)));
  dac_->setCurrentIndex(dac_->findText(Mhz(block.dacMhz)));
  frequency_->setValue(block.patternFrequency);
  amplitude_->setValue(block.patternAmplitude);
  file_->setText(QString::fromStdString(state_.patternFile));
  (state_.customPattern ? custom_ : sine_)->setChecked(true);
}

PanelSettings MainPanel::TakeSettings() {
  state_.block.patternFrequency = frequency_->value();
  state_.block.patternAmplitude = amplitude_->value();
  SetLabel(frequencyValue_, Mhz(state_.block.patternFrequency));
  SetLabel(amplitudeValue_, QStringLiteral("%1 %").arg(state_.block.patternAmplitude));
  return state_.block;
}

void MainPanel::Load() {
  const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Open"),
                                                    QString::fromStdString(state_.block.patternPath));
  if (!path.isEmpty()) LoadPatternFile(path);
}

void MainPanel::LoadPatternFile(const QString& path) {
  file_->setText(path);
  state_.patternFile = path.toStdString();
}

void MainPanel::Save() {
  state_.Save(key_);
  key_.WriteInt("xpos", pos().x());
  key_.WriteInt("ypos", pos().y());
}

}  // namespace veltra
