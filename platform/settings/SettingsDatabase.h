// One root of the settings store: a SQLite database file with one connection
// per process, opened on first use and opened again when the configuration
// directory, the file or the process (after fork) changes.
//
// The database keeps the default rollback journal rather than WAL: it works
// where the directory or the file is read-only (WAL needs its -shm file), on
// any file system, and it leaves a single file to move aside when damaged;
// settings writes are few and small, so WAL's concurrency buys nothing here.
#pragma once

#include <sys/types.h>

#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/settings/Registry.h"

struct sqlite3;
struct sqlite3_stmt;

namespace veltra {

class SettingsDatabase {
 public:
  // The process's database of that root.
  static SettingsDatabase& For(RegistryRoot root);

  SettingsDatabase(const SettingsDatabase&) = delete;
  SettingsDatabase& operator=(const SettingsDatabase&) = delete;

  // Whether writes can succeed at the moment (opens the database if needed).
  bool IsWritable();
  bool KeyExists(const std::string& path) { return FindKey(path) == RegistryStatus::Ok; }
  // Ok, Missing, or Failed when the store could not be read (still busy after
  // the wait, an I/O error): a caller must not take that for missing.
  RegistryStatus FindKey(const std::string& path);
  // Creates the key and its parents; NotWritable where the store is read-only.
  RegistryStatus CreateKey(const std::string& path);
  RegistryStatus DeleteKey(const std::string& path);
  RegistryStatus Read(const std::string& path, const std::string& name, RegistryValue& value);
  RegistryStatus Write(const std::string& path, const RegistryValue& value);
  RegistryStatus DeleteValue(const std::string& path, const std::string& name);
  // Ok with the whole list, or Failed with none (a missing key lists nothing).
  RegistryStatus Subkeys(const std::string& path, std::vector<std::string>& names);
  RegistryStatus Values(const std::string& path, std::vector<RegistryValue>& values);

  // Writes of this thread between the two calls form one transaction; other
  // threads wait until it ends. Batches nest; the outermost one commits.
  RegistryStatus BeginBatch();
  RegistryStatus EndBatch(bool commit);

 private:
  explicit SettingsDatabase(RegistryRoot root) : root_(root) {}

  struct Identity {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const Identity&) const = default;
  };
  enum class CheckResult { Sound, Damaged, Unavailable };

  static Identity IdentityOf(const std::string& path);
  // Makes sure db_ matches the current file; false when there is no usable database.
  bool Ensure();
  // Why there is no database to read: busy or failing, else none there.
  RegistryStatus Unreadable() const { return retry_ ? RegistryStatus::Failed : RegistryStatus::Missing; }
  void Open(const std::string& path, int attempt);
  void Drop();
  CheckResult Check(std::string& reason);
  // The two tables with the columns and keys this code relies on (or neither,
  // in a fresh file): a file of some other layout is damage. Sets schema_.
  CheckResult CheckLayout(std::string& reason);
  // The connection's prepared statement for sql (a string constant, known by
  // its address), prepared at its first use; null with code when that fails.
  sqlite3_stmt* Kept(const char* sql, int& code);
  bool CreateSchema();
  void MoveAside(const std::string& path, const Identity& checked, const std::string& reason);
  RegistryStatus WriteFailure(int code);
  // After a statement found the file damaged (changed under the open
  // connection): drops the connection and opens again, which moves the file
  // aside. Not inside a batch: its end does it.
  void Recover(int code);
  bool InsertKeyRows(const std::string& path);
  // Runs body in a write transaction of its own, or in the open batch; an SQLite code.
  int Transact(const std::function<bool()>& body);

  const RegistryRoot root_;
  // Guards every member below and every use of the connection db_. Recursive:
  // a batch holds it while the writes inside it take it again.
  std::recursive_mutex mutex_;
  sqlite3* db_ = nullptr;
  // Statements kept for the connection's lifetime: preparing costs far more
  // than running these small reads and writes.
  std::vector<std::pair<const char*, sqlite3_stmt*>> statements_;
  std::string path_;     // file the connection belongs to
  pid_t pid_ = 0;        // process that opened it: a forked child opens its own
  Identity identity_;    // the file as it was when opened
  bool opened_ = false;  // an open was attempted for path_/pid_/identity_
  bool retry_ = false;   // the last attempt failed for a passing reason (busy)
  bool readOnly_ = true;
  bool schema_ = false;  // the tables exist
  int batchDepth_ = 0;   // open batches of the thread holding mutex_
  int batchCode_ = 0;    // first failure inside the batch (SQLITE_OK when none)
};

}  // namespace veltra
