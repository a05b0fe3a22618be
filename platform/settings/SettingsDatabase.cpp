#include "platform/settings/SettingsDatabase.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <utility>

namespace veltra {

namespace {

// A writer waits this long for another process's transaction before it gives up.
constexpr int kBusyMilliseconds = 10000;

// Key paths hold their components joined by backslashes; the keys table holds
// every key with each of its parents, so that a parent lists its subkeys.
// The value column has no declared type: SQLite keeps each value's storage
// class, which is its type here (INTEGER dword, TEXT string, BLOB binary).
constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS keys (path TEXT NOT NULL PRIMARY KEY COLLATE NOCASE);"
    "CREATE TABLE IF NOT EXISTS entries ("
    " key TEXT NOT NULL COLLATE NOCASE,"
    " name TEXT NOT NULL COLLATE NOCASE,"
    " value,"
    " PRIMARY KEY (key, name));"
    "PRAGMA user_version = 1;";

// The tables as SQLite keeps the text of kSchema's statements.
constexpr const char* kKeysTable = "CREATE TABLE keys (path TEXT NOT NULL PRIMARY KEY COLLATE NOCASE)";
constexpr const char* kEntriesTable =
    "CREATE TABLE entries ( key TEXT NOT NULL COLLATE NOCASE, name TEXT NOT NULL COLLATE NOCASE,"
    " value, PRIMARY KEY (key, name))";

class Statement {
 public:
  Statement(sqlite3* db, const char* sql) { code_ = sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr); }
  // One of the connection's kept statements (null with the code of a failed
  // prepare): reset for the next use instead of finalized.
  Statement(sqlite3_stmt* kept, int code) : statement_(kept), code_(code), kept_(true) {}
  ~Statement() {
    if (!kept_) {
      sqlite3_finalize(statement_);
    } else if (statement_) {
      // Also ends the read transaction of a statement left on a row.
      sqlite3_reset(statement_);
      sqlite3_clear_bindings(statement_);
    }
  }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  // The result code of preparing, or of the last step.
  int Code() const { return code_; }
  bool Prepared() const { return statement_ != nullptr; }
  void Bind(int index, const std::string& text) {
    if (statement_) sqlite3_bind_text(statement_, index, text.data(), int(text.size()), SQLITE_TRANSIENT);
  }
  void BindValue(int index, const RegistryValue& value) {
    if (!statement_) return;
    switch (value.type) {
      case RegistryType::Dword:
        sqlite3_bind_int64(statement_, index, sqlite3_int64(value.Dword()));
        break;
      case RegistryType::String:
        // An empty vector has no data pointer, and text bound from null is NULL.
        sqlite3_bind_text(statement_, index,
                          value.data.empty() ? "" : reinterpret_cast<const char*>(value.data.data()),
                          int(value.data.size()), SQLITE_TRANSIENT);
        break;
      case RegistryType::Binary:
        // An empty blob must not be bound from a null pointer: that would store NULL.
        if (value.data.empty())
          sqlite3_bind_zeroblob(statement_, index, 0);
        else
          sqlite3_bind_blob(statement_, index, value.data.data(), int(value.data.size()), SQLITE_TRANSIENT);
        break;
    }
  }
  // SQLITE_ROW, SQLITE_DONE or an error.
  int Step() {
    if (!statement_) return code_;
    code_ = sqlite3_step(statement_);
    return code_;
  }
  std::string Text(int column) const {
    auto text = sqlite3_column_text(statement_, column);
    return text ? std::string(reinterpret_cast<const char*>(text),
                              size_t(sqlite3_column_bytes(statement_, column)))
                : std::string();
  }
  // Reads a stored value; anything the store would not write itself (a hand-made
  // number out of range, a float, NULL) comes back as raw bytes.
  RegistryValue Value(int nameColumn, int valueColumn) const {
    RegistryValue value;
    value.name = Text(nameColumn);
    switch (sqlite3_column_type(statement_, valueColumn)) {
      case SQLITE_INTEGER: {
        sqlite3_int64 number = sqlite3_column_int64(statement_, valueColumn);
        if (number >= 0 && number <= 0xFFFFFFFFLL) {
          RegistryValue dword = RegistryValue::FromDword(std::move(value.name), uint32_t(number));
          return dword;
        }
        value.type = RegistryType::Binary;
        for (int i = 0; i < 8; ++i)
          value.data.push_back(static_cast<unsigned char>(uint64_t(number) >> (8 * i)));
        return value;
      }
      case SQLITE_TEXT: {
        value.type = RegistryType::String;
        std::string text = Text(valueColumn);
        value.data.assign(text.begin(), text.end());
        return value;
      }
      case SQLITE_FLOAT: {
        double number = sqlite3_column_double(statement_, valueColumn);
        unsigned char bytes[sizeof number];
        std::memcpy(bytes, &number, sizeof number);
        value.type = RegistryType::Binary;
        value.data.assign(bytes, bytes + sizeof number);
        return value;
      }
      case SQLITE_BLOB: {
        value.type = RegistryType::Binary;
        auto bytes = static_cast<const unsigned char*>(sqlite3_column_blob(statement_, valueColumn));
        int size = sqlite3_column_bytes(statement_, valueColumn);
        if (bytes && size > 0) value.data.assign(bytes, bytes + size);
        return value;
      }
      default:
        value.type = RegistryType::Binary;
        return value;
    }
  }

 private:
  sqlite3_stmt* statement_ = nullptr;
  int code_ = SQLITE_OK;
  bool kept_ = false;
};

// Set before the first connection of the process (SQLite takes its settings
// only before it initialises). By default a connection's page cache starts
// with one allocation for 20 pages, all of them laid out when the first page
// is read: a fault for each memory page on every start, for a store of a few
// pages. Without it each cached page is allocated when it is read.
void ConfigureOnce() {
  static std::once_flag once;
  std::call_once(once, [] { sqlite3_config(SQLITE_CONFIG_PAGECACHE, nullptr, 0, 0); });
}

bool IsDamage(int code) {
  int primary = code & 0xff;
  return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

// "A\B\C" -> "A", "A\B", "A\B\C".
std::vector<std::string> PathAndParents(const std::string& path) {
  std::vector<std::string> result;
  for (size_t at = path.find('\\'); at != std::string::npos; at = path.find('\\', at + 1))
    result.push_back(path.substr(0, at));
  if (!path.empty()) result.push_back(path);
  return result;
}

}  // namespace

SettingsDatabase& SettingsDatabase::For(RegistryRoot root) {
  // Never destroyed: settings may still be written by static destructors of
  // other libraries while the process ends.
  static SettingsDatabase* user = new SettingsDatabase(RegistryRoot::CurrentUser);
  static SettingsDatabase* machine = new SettingsDatabase(RegistryRoot::LocalMachine);
  return root == RegistryRoot::CurrentUser ? *user : *machine;
}

SettingsDatabase::Identity SettingsDatabase::IdentityOf(const std::string& path) {
  struct stat status;
  if (::stat(path.c_str(), &status) != 0) return {};
  return {true, status.st_dev, status.st_ino};
}

bool SettingsDatabase::Ensure() {
  if (batchDepth_ > 0) return db_ != nullptr;  // the open transaction holds the file
  std::string path = Registry::DatabasePath(root_);
  Identity now = IdentityOf(path);
  // Reopen when the directory changed, after a fork, or when another process
  // moved the file aside or replaced it: writing on into a file that is no
  // longer the store would lose the values.
  bool same = opened_ && path == path_ && ::getpid() == pid_ && now == identity_;
  if (same && !retry_) return db_ != nullptr;
  Drop();
  Open(path, 0);
  return db_ != nullptr;
}

void SettingsDatabase::Drop() {
  // A forked child must not touch its parent's connection, not even to close it.
  bool own = db_ && pid_ == ::getpid();
  for (auto& [sql, statement] : statements_)
    if (own) sqlite3_finalize(statement);
  statements_.clear();
  if (own) sqlite3_close_v2(db_);
  db_ = nullptr;
  opened_ = false;
  retry_ = false;
  readOnly_ = true;
  schema_ = false;
}

void SettingsDatabase::Open(const std::string& path, int attempt) {
  path_ = path;
  pid_ = ::getpid();
  opened_ = true;
  retry_ = false;
  readOnly_ = true;
  schema_ = false;

  std::filesystem::path file(path);
  std::string directory = file.has_parent_path() ? file.parent_path().string() : ".";
  std::error_code ignored;
  std::filesystem::create_directories(directory, ignored);

  Identity before = IdentityOf(path);
  identity_ = before;
  struct stat status;
  if (before.exists && ::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
    // A directory or a pipe there: nothing to read, and opening a pipe would
    // block. Said once: the next call sees the same file and does not reopen.
    std::fprintf(stderr, "veltra: settings file %s is not a regular file; its settings are not used\n",
                 path.c_str());
    return;
  }
  // Decide up front: SQLite would open a file it cannot write without a word,
  // and a journal it cannot create shows only at the first write.
  bool directoryWritable = ::access(directory.c_str(), W_OK | X_OK) == 0;
  bool writable = directoryWritable && (!before.exists || ::access(path.c_str(), R_OK | W_OK) == 0);
  if (!before.exists && !writable) return;  // nothing to read and nowhere to write

  ConfigureOnce();
  int flags = writable ? (SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) : SQLITE_OPEN_READONLY;
  sqlite3* db = nullptr;
  int code = sqlite3_open_v2(path.c_str(), &db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
  if (code != SQLITE_OK) {
    sqlite3_close_v2(db);
    retry_ = true;
    return;
  }
  db_ = db;
  sqlite3_busy_timeout(db_, kBusyMilliseconds);

  std::string reason;
  switch (Check(reason)) {
    case CheckResult::Sound:
      break;
    case CheckResult::Unavailable:
      sqlite3_close_v2(db_);
      db_ = nullptr;
      retry_ = true;
      return;
    case CheckResult::Damaged:
      sqlite3_close_v2(db_);
      db_ = nullptr;
      if (attempt == 0) {
        MoveAside(path, before, reason);
        Open(path, attempt + 1);
      }
      return;
  }
  readOnly_ = !writable || sqlite3_db_readonly(db_, "main") == 1;
  // Check left schema_ saying whether both tables are there.
  if (!schema_ && !readOnly_) schema_ = CreateSchema();
  identity_ = IdentityOf(path);
}

sqlite3_stmt* SettingsDatabase::Kept(const char* sql, int& code) {
  code = SQLITE_OK;
  for (auto& [text, statement] : statements_)
    if (text == sql) return statement;
  sqlite3_stmt* statement = nullptr;
  code = sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
  if (code != SQLITE_OK || !statement) {
    sqlite3_finalize(statement);
    return nullptr;
  }
  statements_.emplace_back(sql, statement);
  return statement;
}

SettingsDatabase::CheckResult SettingsDatabase::Check(std::string& reason) {
  // quick_check: every page and every record sound, the same as
  // integrity_check short of comparing each index with its table, in time
  // proportional to the file rather than to its rows times their depth.
  Statement check(db_, "PRAGMA quick_check");
  if (!check.Prepared()) {
    reason = sqlite3_errmsg(db_);
    return IsDamage(check.Code()) ? CheckResult::Damaged : CheckResult::Unavailable;
  }
  bool sound = true;
  bool first = true;
  while (check.Step() == SQLITE_ROW) {
    if (first && check.Text(0) != "ok") {
      sound = false;
      reason = check.Text(0);
    }
    first = false;
  }
  if (check.Code() != SQLITE_DONE) {
    reason = sqlite3_errmsg(db_);
    return IsDamage(check.Code()) ? CheckResult::Damaged : CheckResult::Unavailable;
  }
  if (!sound) return CheckResult::Damaged;
  return CheckLayout(reason);
}

SettingsDatabase::CheckResult SettingsDatabase::CheckLayout(std::string& reason) {
  {
    // Tables made by this code read back as its own text: no need to take
    // their columns apart.
    Statement made(db_, "SELECT sql FROM sqlite_master WHERE lower(name) IN ('keys', 'entries')");
    int same = 0, rows = 0;
    while (made.Step() == SQLITE_ROW) {
      ++rows;
      std::string sql = made.Text(0);
      if (sql == kKeysTable || sql == kEntriesTable) ++same;
    }
    if (made.Code() == SQLITE_DONE && rows == 2 && same == 2) {
      schema_ = true;
      return CheckResult::Sound;
    }
  }
  // Each table's columns as "name:position in the primary key", in order.
  Statement layout(db_,
                   "SELECT lower(m.name), m.type,"
                   " (SELECT group_concat(c, ',') FROM (SELECT lower(name) || ':' || pk AS c"
                   "  FROM pragma_table_info(m.name) ORDER BY cid))"
                   " FROM sqlite_master m WHERE lower(m.name) IN ('keys', 'entries')");
  int found = 0;
  bool sound = true;
  while (layout.Step() == SQLITE_ROW) {
    ++found;
    std::string name = layout.Text(0);
    std::string expected = name == "keys" ? "path:1" : "key:1,name:2,value:0";
    if (layout.Text(1) != "table" || layout.Text(2) != expected) sound = false;
  }
  if (layout.Code() != SQLITE_DONE) {
    reason = sqlite3_errmsg(db_);
    return IsDamage(layout.Code()) ? CheckResult::Damaged : CheckResult::Unavailable;
  }
  schema_ = found == 2 && sound;
  if (found == 0 || schema_) return CheckResult::Sound;
  reason = "not the settings table layout";
  return CheckResult::Damaged;
}

bool SettingsDatabase::CreateSchema() {
  int code = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  if (code == SQLITE_OK) code = sqlite3_exec(db_, kSchema, nullptr, nullptr, nullptr);
  if (code == SQLITE_OK) code = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
  if (code == SQLITE_OK) return true;
  sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  WriteFailure(code);
  return false;
}

void SettingsDatabase::MoveAside(const std::string& path, const Identity& checked,
                                 const std::string& reason) {
  // Another process may have moved it already and started a fresh one.
  if (IdentityOf(path) != checked) return;
  char stamp[32];
  std::time_t now = std::time(nullptr);
  std::tm local;
  localtime_r(&now, &local);
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  std::string base = path + ".corrupt-" + stamp;
  std::string target = base;
  for (int n = 2; IdentityOf(target).exists; ++n) target = base + "-" + std::to_string(n);

  if (::rename(path.c_str(), target.c_str()) != 0) {
    std::fprintf(stderr,
                 "veltra: settings file %s is damaged (%s) and cannot be moved aside (%s); "
                 "its settings are not used\n",
                 path.c_str(), reason.c_str(), std::strerror(errno));
    return;
  }
  // A journal left beside it belongs to the damaged file, not to the fresh one.
  std::string journal = path + "-journal";
  if (IdentityOf(journal).exists) ::rename(journal.c_str(), (target + "-journal").c_str());
  std::fprintf(stderr,
               "veltra: settings file %s is damaged (%s); it was kept as %s and a fresh one started\n",
               path.c_str(), reason.c_str(), target.c_str());
}

RegistryStatus SettingsDatabase::WriteFailure(int code) {
  switch (code & 0xff) {
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
    case SQLITE_CANTOPEN:  // the journal cannot be created beside the file
      readOnly_ = true;
      return RegistryStatus::NotWritable;
    default:
      return RegistryStatus::Failed;
  }
}

void SettingsDatabase::Recover(int code) {
  if (!IsDamage(code) || batchDepth_ > 0) return;
  Drop();
  Ensure();
}

bool SettingsDatabase::InsertKeyRows(const std::string& path) {
  for (const auto& key : PathAndParents(path)) {
    int insertCode = SQLITE_OK;
    sqlite3_stmt* insertKept = Kept("INSERT OR IGNORE INTO keys (path) VALUES (?1)", insertCode);
    Statement insert(insertKept, insertCode);
    insert.Bind(1, key);
    if (insert.Step() != SQLITE_DONE) return false;
  }
  return true;
}

int SettingsDatabase::Transact(const std::function<bool()>& body) {
  if (batchDepth_ > 0) {
    // Part of a larger transaction: a failure undoes all of it at the end.
    // After a failure SQLite may have rolled the transaction back on its own
    // (disk full, I/O error, no memory, busy); a later write would then run
    // in autocommit and be stored alone, so nothing more of the batch runs.
    if (batchCode_ == SQLITE_OK && sqlite3_get_autocommit(db_)) batchCode_ = SQLITE_ABORT;
    if (batchCode_ != SQLITE_OK) return batchCode_;
    if (body() && !sqlite3_get_autocommit(db_)) return SQLITE_OK;
    int code = sqlite3_errcode(db_);
    if (code == SQLITE_OK || code == SQLITE_DONE || code == SQLITE_ROW) code = SQLITE_ABORT;
    batchCode_ = code;
    return code;
  }
  // BEGIN IMMEDIATE takes the write lock at once, so a busy database is waited
  // for (busy timeout) instead of failing half-way.
  int code = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  if (code == SQLITE_OK && !body()) {
    code = sqlite3_errcode(db_);
    if (code == SQLITE_OK || code == SQLITE_DONE || code == SQLITE_ROW) code = SQLITE_ERROR;
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  } else if (code == SQLITE_OK) {
    code = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (code != SQLITE_OK) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  Recover(code);
  return code;
}

RegistryStatus SettingsDatabase::BeginBatch() {
  mutex_.lock();  // held until EndBatch, so other threads wait for the whole batch
  if (batchDepth_ > 0) {
    ++batchDepth_;
    return RegistryStatus::Ok;
  }
  RegistryStatus status = RegistryStatus::Ok;
  if (!Ensure())
    status = retry_ ? RegistryStatus::Failed : RegistryStatus::NotWritable;
  else if (readOnly_)
    status = RegistryStatus::NotWritable;
  else if (!schema_ && !(schema_ = CreateSchema()))
    status = readOnly_ ? RegistryStatus::NotWritable : RegistryStatus::Failed;
  if (status == RegistryStatus::Ok) {
    int code = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (code != SQLITE_OK) status = WriteFailure(code);
  }
  if (status != RegistryStatus::Ok) {
    mutex_.unlock();
    return status;
  }
  batchDepth_ = 1;
  batchCode_ = SQLITE_OK;
  return RegistryStatus::Ok;
}

RegistryStatus SettingsDatabase::EndBatch(bool commit) {
  RegistryStatus status = RegistryStatus::Ok;
  if (--batchDepth_ == 0) {
    int code = batchCode_;
    if (commit && code == SQLITE_OK) code = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (!commit || code != SQLITE_OK) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    if (code != SQLITE_OK) status = WriteFailure(code);
    Recover(code);
  }
  mutex_.unlock();
  return status;
}

bool SettingsDatabase::IsWritable() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return Ensure() && !readOnly_;
}

RegistryStatus SettingsDatabase::FindKey(const std::string& path) {
  if (path.empty()) return RegistryStatus::Ok;
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (!Ensure()) return Unreadable();
  if (!schema_) return RegistryStatus::Missing;
  int code = SQLITE_OK;
  {
    int findCode = SQLITE_OK;
    sqlite3_stmt* findKept = Kept("SELECT 1 FROM keys WHERE path = ?1", findCode);
    Statement find(findKept, findCode);
    find.Bind(1, path);
    code = find.Step();
  }
  if (code == SQLITE_ROW) return RegistryStatus::Ok;
  if (code == SQLITE_DONE) return RegistryStatus::Missing;
  Recover(code);
  return RegistryStatus::Failed;
}

RegistryStatus SettingsDatabase::CreateKey(const std::string& path) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (!Ensure()) return retry_ ? RegistryStatus::Failed : RegistryStatus::NotWritable;
  if (readOnly_) return RegistryStatus::NotWritable;
  if (!schema_ && !(schema_ = CreateSchema()))
    return readOnly_ ? RegistryStatus::NotWritable : RegistryStatus::Failed;
  if (path.empty()) return RegistryStatus::Ok;
  {
    int findCode = SQLITE_OK;
    sqlite3_stmt* findKept = Kept("SELECT 1 FROM keys WHERE path = ?1", findCode);
    Statement find(findKept, findCode);
    find.Bind(1, path);
    if (find.Step() == SQLITE_ROW) return RegistryStatus::Ok;
  }
  int code = Transact([&] { return InsertKeyRows(path); });
  return code == SQLITE_OK ? RegistryStatus::Ok : WriteFailure(code);
}

RegistryStatus SettingsDatabase::DeleteKey(const std::string& path) {
  if (path.empty()) return RegistryStatus::Failed;
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (!Ensure()) return retry_ ? RegistryStatus::Failed : RegistryStatus::Missing;
  if (!schema_) return RegistryStatus::Missing;
  if (readOnly_) return RegistryStatus::NotWritable;
  bool found = false;
  int code = Transact([&] {
    Statement keys(db_,
                   "DELETE FROM keys WHERE path = ?1"
                   " OR substr(path, 1, length(?1) + 1) = (?1 || '\\') COLLATE NOCASE");
    keys.Bind(1, path);
    if (keys.Step() != SQLITE_DONE) return false;
    found = sqlite3_changes(db_) > 0;
    Statement values(db_,
                     "DELETE FROM entries WHERE key = ?1"
                     " OR substr(key, 1, length(?1) + 1) = (?1 || '\\') COLLATE NOCASE");
    values.Bind(1, path);
    if (values.Step() != SQLITE_DONE) return false;
    found = found || sqlite3_changes(db_) > 0;
    return true;
  });
  if (code != SQLITE_OK) return WriteFailure(code);
  return found ? RegistryStatus::Ok : RegistryStatus::Missing;
}

RegistryStatus SettingsDatabase::Read(const std::string& path, const std::string& name,
                                      RegistryValue& value) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (!Ensure()) return Unreadable();
  if (!schema_) return RegistryStatus::Missing;
  int code = SQLITE_OK;
  {
    int findCode = SQLITE_OK;
    sqlite3_stmt* findKept = Kept("SELECT name, value FROM entries WHERE key = ?1 AND name = ?2", findCode);
    Statement find(findKept, findCode);
    find.Bind(1, path);
    find.Bind(2, name);
    code = find.Step();
    if (code == SQLITE_ROW) value = find.Value(0, 1);
  }
  if (code == SQLITE_ROW) return RegistryStatus::Ok;
  if (code == SQLITE_DONE) return RegistryStatus::Missing;
  Recover(code);
  return RegistryStatus::Failed;
}

RegistryStatus SettingsDatabase::Write(const std::string& path, const RegistryValue& value) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (!Ensure()) return retry_ ? RegistryStatus::Failed : RegistryStatus::NotWritable;
  if (readOnly_) return RegistryStatus::NotWritable;
  if (!schema_ && !(schema_ = CreateSchema()))
    return readOnly_ ? RegistryStatus::NotWritable : RegistryStatus::Failed;
  int code = Transact([&] {
    if (!InsertKeyRows(path)) return false;
    // A name that differs only in case updates the stored value and keeps its spelling.
    int upsertCode = SQLITE_OK;
    sqlite3_stmt* upsertKept = Kept(
        "INSERT INTO entries (key, name, value) VALUES (?1, ?2, ?3)"
        " ON CONFLICT (key, name) DO UPDATE SET value = excluded.value",
        upsertCode);
    Statement upsert(upsertKept, upsertCode);
    upsert.Bind(1, path);
    upsert.Bind(2, value.name);
    upsert.BindValue(3, value);
    return upsert.Step() == SQLITE_DONE;
  });
  return code == SQLITE_OK ? RegistryStatus::Ok : WriteFailure(code);
}

RegistryStatus SettingsDatabase::DeleteValue(const std::string& path, const std::string& name) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (!Ensure()) return retry_ ? RegistryStatus::Failed : RegistryStatus::Missing;
  if (!schema_) return RegistryStatus::Missing;
  if (readOnly_) return RegistryStatus::NotWritable;
  bool found = false;
  int code = Transact([&] {
    Statement remove(db_, "DELETE FROM entries WHERE key = ?1 AND name = ?2");
    remove.Bind(1, path);
    remove.Bind(2, name);
    if (remove.Step() != SQLITE_DONE) return false;
    found = sqlite3_changes(db_) > 0;
    return true;
  });
  if (code != SQLITE_OK) return WriteFailure(code);
  return found ? RegistryStatus::Ok : RegistryStatus::Missing;
}

RegistryStatus SettingsDatabase::Subkeys(const std::string& path, std::vector<std::string>& names) {
  names.clear();
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (!Ensure()) return Unreadable() == RegistryStatus::Failed ? RegistryStatus::Failed : RegistryStatus::Ok;
  if (!schema_) return RegistryStatus::Ok;
  const char* sql = path.empty()
                        ? "SELECT path FROM keys WHERE instr(path, '\\') = 0 ORDER BY 1 COLLATE NOCASE"
                        : "SELECT substr(path, length(?1) + 2) FROM keys"
                          " WHERE substr(path, 1, length(?1) + 1) = (?1 || '\\') COLLATE NOCASE"
                          " AND instr(substr(path, length(?1) + 2), '\\') = 0"
                          " ORDER BY 1 COLLATE NOCASE";
  int code = SQLITE_OK;
  {
    Statement list(db_, sql);
    if (!path.empty()) list.Bind(1, path);
    while (list.Step() == SQLITE_ROW) names.push_back(list.Text(0));
    code = list.Code();
  }
  if (code == SQLITE_DONE) return RegistryStatus::Ok;
  // A list cut short would read as keys that are gone.
  names.clear();
  Recover(code);
  return RegistryStatus::Failed;
}

RegistryStatus SettingsDatabase::Values(const std::string& path, std::vector<RegistryValue>& values) {
  values.clear();
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (!Ensure()) return Unreadable() == RegistryStatus::Failed ? RegistryStatus::Failed : RegistryStatus::Ok;
  if (!schema_) return RegistryStatus::Ok;
  int code = SQLITE_OK;
  {
    int listCode = SQLITE_OK;
    sqlite3_stmt* listKept = Kept("SELECT name, value FROM entries WHERE key = ?1 ORDER BY rowid", listCode);
    Statement list(listKept, listCode);
    list.Bind(1, path);
    while (list.Step() == SQLITE_ROW) values.push_back(list.Value(0, 1));
    code = list.Code();
  }
  if (code == SQLITE_DONE) return RegistryStatus::Ok;
  values.clear();
  Recover(code);
  return RegistryStatus::Failed;
}

}  // namespace veltra
