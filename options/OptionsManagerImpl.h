// The options manager of a server process: owns the one options record,
// loads it from the current user's settings when made, and writes it back.
#pragma once

#include "veltra/OptionsManager.h"
#include "veltra/OptionsRecord.h"

namespace veltra {

class OptionsManagerImpl final : public OptionsManager {
 public:
  OptionsManagerImpl();
  ~OptionsManagerImpl() = default;

  OptionsRecord* GetOptions() override;
  void SaveOptions() override;
  void ResetOptions() override;
  void ShowOptionsSheet() override;
  void Destroy() override;
  void SetSemaphoreTarget(RequestChannel* linkChannel) override;

 private:
  void LoadOptions();

  OptionsRecord record_;
};

}  // namespace veltra
