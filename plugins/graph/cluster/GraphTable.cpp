#include "plugins/graph/cluster/GraphTable.h"

#include <map>
#include <mutex>

namespace veltra::GraphTable {
namespace {

// Guards records and nextHandle: every service runs on a server thread, and
// a process may run more than one server.
std::mutex mutex;
std::map<int32_t, std::unique_ptr<GraphRecord>>& Records() {
  // Never destroyed: records outlive the run, and windows may outlive the
  // static destructors' turn at process end.
  static auto* records = new std::map<int32_t, std::unique_ptr<GraphRecord>>;
  return *records;
}
int32_t nextHandle = kFirstHandle;

}  // namespace

int32_t Add(std::unique_ptr<GraphRecord> record) {
  std::lock_guard<std::mutex> lock(mutex);
  // Handles are never reused, so a stale handle cannot reach a newer graph.
  if (nextHandle == INT32_MAX) return 0;
  int32_t handle = nextHandle++;
  Records()[handle] = std::move(record);
  return handle;
}

GraphRecord* Find(int32_t handle) {
  std::lock_guard<std::mutex> lock(mutex);
  auto it = Records().find(handle);
  return it == Records().end() ? nullptr : it->second.get();
}

std::unique_ptr<GraphRecord> Remove(int32_t handle) {
  std::lock_guard<std::mutex> lock(mutex);
  auto it = Records().find(handle);
  if (it == Records().end()) return nullptr;
  auto record = std::move(it->second);
  Records().erase(it);
  return record;
}

std::vector<std::unique_ptr<GraphRecord>> TakeAll() {
  std::lock_guard<std::mutex> lock(mutex);
  std::vector<std::unique_ptr<GraphRecord>> all;
  for (auto& [handle, record] : Records()) all.push_back(std::move(record));
  Records().clear();
  // As in a fresh process: the next graph gets the first handle again.
  nextHandle = kFirstHandle;
  return all;
}

void ForEach(const std::function<void(GraphRecord&)>& function) {
  std::lock_guard<std::mutex> lock(mutex);
  for (auto& [handle, record] : Records()) function(*record);
}

bool FileNameUsed(const std::string& fileName) {
  std::lock_guard<std::mutex> lock(mutex);
  for (auto& [handle, record] : Records())
    if (record->fileName == fileName) return true;
  return false;
}

}  // namespace veltra::GraphTable
