// The options manager library (Prefbook) exports
//   extern "C" OptionsManager* GetOptionsManager();
//   extern "C" void CloseOptionsManager();
#pragma once

namespace veltra {

struct OptionsRecord;
class RequestChannel;

class OptionsManager {
 public:
  virtual OptionsRecord* GetOptions() = 0;                           // 0
  virtual void SaveOptions() = 0;                                    // 1
  virtual void ResetOptions() = 0;                                   // 2
  virtual void ShowOptionsSheet() = 0;                               // 3
  virtual void Destroy() = 0;                                        // 4
  virtual void SetSemaphoreTarget(RequestChannel* linkChannel) = 0;  // 5

 protected:
  ~OptionsManager() = default;
};

using GetOptionsManagerFunction = OptionsManager* (*)();
using CloseOptionsManagerFunction = void (*)();

}  // namespace veltra
