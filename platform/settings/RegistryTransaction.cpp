#include "platform/settings/RegistryTransaction.h"

#include "platform/settings/SettingsDatabase.h"

namespace veltra {

RegistryTransaction::RegistryTransaction(RegistryRoot root)
    : root_(root), status_(SettingsDatabase::For(root).BeginBatch()) {
  active_ = status_ == RegistryStatus::Ok;
}

RegistryTransaction::~RegistryTransaction() {
  if (active_) SettingsDatabase::For(root_).EndBatch(false);
}

RegistryStatus RegistryTransaction::Commit() {
  if (!active_) return status_;
  active_ = false;
  status_ = SettingsDatabase::For(root_).EndBatch(true);
  return status_;
}

}  // namespace veltra
