// Exports of the options manager library.
#include <mutex>
#include <new>

#include "options/OptionsInstance.h"
#include "options/OptionsManagerImpl.h"
#include "veltra/Export.h"

namespace veltra {

namespace {

std::mutex instanceMutex;  // guards instance
OptionsManagerImpl* instance = nullptr;

}  // namespace

void ForgetOptionsManager(OptionsManagerImpl* manager) {
  std::lock_guard<std::mutex> lock(instanceMutex);
  if (instance == manager) instance = nullptr;
}

}  // namespace veltra

VELTRA_C_EXPORT veltra::OptionsManager* GetOptionsManager() {
  std::lock_guard<std::mutex> lock(veltra::instanceMutex);
  if (!veltra::instance) veltra::instance = new (std::nothrow) veltra::OptionsManagerImpl();
  return veltra::instance;
}

VELTRA_C_EXPORT void CloseOptionsManager() {
  veltra::OptionsManagerImpl* manager = nullptr;
  {
    std::lock_guard<std::mutex> lock(veltra::instanceMutex);
    manager = veltra::instance;
    veltra::instance = nullptr;
  }
  delete manager;
}
