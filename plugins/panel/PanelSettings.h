// What the main control panel reports to the application: the 536-byte block
// of ReadPanel, little-endian words with the pattern file path at offset 20.
// Also the plain rules of the panels that need no window.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace veltra {

class PanelKey;

struct PanelSettings {
  static constexpr std::size_t kBlockSize = 536;
  static constexpr std::size_t kPathSize = 512;

  int32_t adcMhz = 30;
  int32_t dacMhz = 30;
  bool dacAsPattern = true;
  int32_t patternFrequency = 50;  // slider positions, 0 to 100
  int32_t patternAmplitude = 100;
  std::string patternPath;  // empty when the panel opens and for the sine wave
  bool terminate = false;

  // The block as sent; a path too long for its field is cut to 511 bytes so
  // that the zero always fits.
  std::array<unsigned char, kBlockSize> Block() const;
};

// The main control panel's stored state: the block's values, the pattern file
// and the custom-pattern choice.
struct MainPanelState {
  PanelSettings block;
  std::string patternFile;
  bool customPattern = false;

  // Defaults, then every value present in the key with its own type.
  static MainPanelState Load(const PanelKey& key);
  void Save(PanelKey& key) const;
};

// Which of the main panel's pattern controls are usable.
struct PatternControls {
  bool radios;   // both radios, the file edit and "&Load"
  bool sliders;  // the two sliders and their value labels
};
PatternControls PatternControlsFor(bool dacAsPattern, bool customPattern);

namespace PanelRules {

// The nine sampling frequencies of the lists, in MHz, in their order.
constexpr std::array<int32_t, 9> kFrequencies = {30, 40, 50, 60, 70, 80, 90, 100, 105};

// The QMX5720 sampling frequency of a slider position: 50 MHz at 0, 1000 MHz
// at 100, in integer steps.
constexpr int32_t ModuleFrequency(int32_t position) {
  return 50 + position * 950 / 100;
}

// A slider position from the store, kept within 0 to 100.
int32_t SliderPosition(std::optional<int32_t> stored, int32_t fallback);

}  // namespace PanelRules

}  // namespace veltra
