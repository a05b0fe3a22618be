#include "plugins/panel/PanelSettings.h"

#include <algorithm>
#include <cstring>

#include "plugins/panel/PanelKey.h"

namespace veltra {
namespace {

void Put(unsigned char* at, int32_t value) {
  const uint32_t bits = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(bits >> (8 * i));
}

}  // namespace

std::array<unsigned char, PanelSettings::kBlockSize> PanelSettings::Block() const {
  std::array<unsigned char, kBlockSize> block{};
  Put(&block[0], adcMhz);
  Put(&block[4], dacMhz);
  Put(&block[8], dacAsPattern ? 1 : 0);
  Put(&block[12], patternFrequency);
  Put(&block[16], patternAmplitude);
  const std::size_t length = std::min(patternPath.size(), kPathSize - 1);
  std::memcpy(&block[20], patternPath.data(), length);
  Put(&block[532], terminate ? 1 : 0);
  return block;
}

MainPanelState MainPanelState::Load(const PanelKey& key) {
  MainPanelState state;
  PanelSettings& block = state.block;
  auto frequency = [](std::optional<int32_t> stored, int32_t fallback) {
    // Only a frequency the lists offer; anything else would select nothing.
    if (stored && std::count(PanelRules::kFrequencies.begin(), PanelRules::kFrequencies.end(), *stored))
      return *stored;
    return fallback;
  };
  block.adcMhz = frequency(key.ReadInt("AdcFreq"), block.adcMhz);
  block.dacMhz = frequency(key.ReadInt("DacFreq"), block.dacMhz);
  if (auto flag = key.ReadInt("DacAsPattern")) block.dacAsPattern = *flag != 0;
  block.patternFrequency = PanelRules::SliderPosition(key.ReadInt("PatternFreq"), block.patternFrequency);
  block.patternAmplitude = PanelRules::SliderPosition(key.ReadInt("PatternAmpl"), block.patternAmplitude);
  if (auto custom = key.ReadInt("CustomPattern")) state.customPattern = *custom != 0;
  if (auto file = key.ReadString("PatternFile")) state.patternFile = *file;
  return state;
}

void MainPanelState::Save(PanelKey& key) const {
  key.WriteInt("AdcFreq", block.adcMhz);
  key.WriteInt("DacFreq", block.dacMhz);
  key.WriteInt("DacAsPattern", block.dacAsPattern ? 1 : 0);
  key.WriteInt("PatternFreq", block.patternFrequency);
  key.WriteInt("PatternAmpl", block.patternAmplitude);
  key.WriteString("PatternFile", patternFile);
  key.WriteInt("CustomPattern", customPattern ? 1 : 0);
}

PatternControls PatternControlsFor(bool dacAsPattern, bool customPattern) {
  return {dacAsPattern, dacAsPattern && !customPattern};
}

namespace PanelRules {

int32_t SliderPosition(std::optional<int32_t> stored, int32_t fallback) {
  if (!stored) return fallback;
  return std::clamp(*stored, 0, 100);
}

}  // namespace PanelRules

}  // namespace veltra
