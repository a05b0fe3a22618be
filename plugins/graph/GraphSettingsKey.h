// What a graph keeps from one run to the next, under one key of the machine
// store per settings name: SOFTWARE\Orv Limited\<branch>\<name>, the branch
// being Plexa_301 for the graph cluster and Plexa_300 for the combined
// plug-in. Numbers are 32-bit values, texts strings, the locked ranges raw
// 4-byte IEEE floats.
#pragma once

#include <optional>
#include <string>

#include "platform/settings/Registry.h"
#include "plugins/graph/GraphProperties.h"
#include "plugins/graph/PixelRect.h"

namespace veltra {

struct GraphSettings {
  std::string saveFile;
  std::optional<PixelRect> windowRect;  // outer rectangle; none: default placement
  int colorMap = 2;
  bool filter = false;
};

class GraphSettingsKey {
 public:
  // Opens (creating when missing) the key; read-only where the store cannot
  // be written.
  GraphSettingsKey(const std::string& branch, const std::string& name);

  static std::string KeyPath(const std::string& branch, const std::string& name);

  bool IsWritable() const { return key_.IsWritable(); }
  const std::string& Path() const { return key_.Path(); }

  // Fills settings and the locks of properties from the key. The locked
  // values first become copies of the given ones; a lock whose flag is set
  // but whose value is missing or of another type is set with that copy.
  void Load(GraphSettings& settings, GraphProperties& properties) const;
  // Writes all 29 values; nothing when the key is read-only. False when a
  // write failed.
  bool Save(const GraphSettings& settings, const GraphProperties& properties);

 private:
  Registry key_;
};

}  // namespace veltra
