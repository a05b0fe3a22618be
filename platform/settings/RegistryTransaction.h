// Groups writes to one root of the settings store into one transaction: all of
// them are stored, or none. Meant for values that belong together (the whole
// options record, a board index with its library). The writes must come from
// the thread that made the transaction; other threads wait until it ends.
#pragma once

#include "platform/settings/Registry.h"
#include "veltra/Export.h"

namespace veltra {

class VELTRA_EXPORT RegistryTransaction {
 public:
  explicit RegistryTransaction(RegistryRoot root);
  // Undoes the writes unless Commit was called.
  ~RegistryTransaction();
  RegistryTransaction(const RegistryTransaction&) = delete;
  RegistryTransaction& operator=(const RegistryTransaction&) = delete;

  // Ok when the transaction began; otherwise writes go on one by one.
  RegistryStatus Status() const { return status_; }
  RegistryStatus Commit();

 private:
  RegistryRoot root_;
  RegistryStatus status_;
  bool active_ = false;
};

}  // namespace veltra
