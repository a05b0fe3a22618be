#include "plugins/graph/cluster/GraphCluster.h"

#include <QCoreApplication>
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "plugins/common/WindowThread.h"
#include "plugins/graph/GraphWindow.h"
#include "plugins/graph/cluster/GraphLibrary.h"
#include "plugins/graph/cluster/GraphRecord.h"
#include "plugins/graph/cluster/GraphSnapshot.h"
#include "plugins/graph/cluster/GraphTable.h"
#include "veltra/RequestChannel.h"

namespace veltra {
namespace {

// More samples than any request block can carry.
constexpr std::size_t kMaximumAppend = 8292 / 8;

}  // namespace

const GraphCluster::Table GraphCluster::kHandlers = {
    nullptr,
    &GraphCluster::OpenLib,
    &GraphCluster::CloseLib,
    &GraphCluster::SetXTitle,
    &GraphCluster::SetYTitle,
    &GraphCluster::SetAxisRangesPhis,
    &GraphCluster::SetAxisRangesUser,
    &GraphCluster::Show,
    &GraphCluster::PumpMessages,
    &GraphCluster::AppendData,
    &GraphCluster::SetGraphTile,
};

bool GraphCluster::ReadText(char* text) {
  uint32_t count = channel->ReadBytesBounded(text, kTextSize);
  if (count > kTextSize) return false;
  // A text that came without its zero ends where it ends.
  text[count] = '\0';
  return true;
}

GraphRecord* GraphCluster::ReadRecord() {
  return GraphTable::Find(channel->ReadWord());
}

int GraphCluster::OpenLib() {
  char name[kTextSize + 1];
  bool nameFits = ReadText(name);
  int32_t capacity = channel->ReadWord();
  if (!nameFits || capacity <= 0 || capacity > kMaximumCapacity) return kFailure;

  auto record = std::make_unique<GraphRecord>();
  try {
    record->buffer.resize(static_cast<std::size_t>(capacity));
    record->shown.reserve(static_cast<std::size_t>(capacity));
  } catch (const std::bad_alloc&) {
    return kFailure;
  }
  record->capacity = capacity;
  record->settingsName = name;
  std::string directory = GraphSnapshot::Directory();
  if (!directory.empty()) record->fileName = GraphSnapshot::UniqueName(name);
  GraphRecord* opened = record.get();
  try {
    WindowThread::Run([opened] {
      opened->window = GraphLibrary::Open(opened->settingsName);
      QCoreApplication::processEvents();
    });
  } catch (const std::bad_alloc&) {
    // Out of memory for the window: refused, and the server serves on.
    return kFailure;
  }
  if (!opened->window) return kFailure;
  int32_t handle = GraphTable::Add(std::move(record));
  if (handle == 0) return kFailure;
  return handle;
}

int GraphCluster::CloseLib() {
  std::unique_ptr<GraphRecord> record = GraphTable::Remove(channel->ReadWord());
  if (!record) return kFailure;
  std::string directory = GraphSnapshot::Directory();
  WindowThread::Run([&record, &directory] {
    if (!directory.empty()) GraphSnapshot::Write(*record, directory);
    GraphLibrary::Close(record->window);
    record->window = nullptr;
  });
  return 0;
}

int GraphCluster::SetXTitle() {
  GraphRecord* record = ReadRecord();
  char title[kTextSize + 1], unit[kTextSize + 1];
  bool fits = ReadText(title);
  fits = ReadText(unit) && fits;
  if (!record || !fits) return kFailure;
  WindowThread::Run([&] { record->window->SetXTitle(title, unit); });
  return 0;
}

int GraphCluster::SetYTitle() {
  GraphRecord* record = ReadRecord();
  char title[kTextSize + 1], unit[kTextSize + 1];
  bool fits = ReadText(title);
  fits = ReadText(unit) && fits;
  if (!record || !fits) return kFailure;
  WindowThread::Run([&] { record->window->SetYTitle(title, unit); });
  return 0;
}

int GraphCluster::SetAxisRangesPhis() {
  GraphRecord* record = ReadRecord();
  unsigned char block[24];
  uint32_t count = channel->ReadBytesBounded(block, sizeof block);
  if (!record || count != sizeof block) return kFailure;
  int32_t first, points;
  double minimum, size;
  std::memcpy(&first, block, 4);
  std::memcpy(&points, block + 4, 4);
  std::memcpy(&minimum, block + 8, 8);
  std::memcpy(&size, block + 16, 8);
  WindowThread::Run([&] { record->window->SetAxisRangesPhis(first, points, minimum, size); });
  return 0;
}

int GraphCluster::SetAxisRangesUser() {
  GraphRecord* record = ReadRecord();
  unsigned char block[32];
  uint32_t count = channel->ReadBytesBounded(block, sizeof block);
  if (!record || count != sizeof block) return kFailure;
  double values[4];
  std::memcpy(values, block, sizeof values);
  WindowThread::Run([&] { record->window->SetAxisRangesUser(values[0], values[1], values[2], values[3]); });
  return 0;
}

int GraphCluster::Show() {
  GraphRecord* record = ReadRecord();
  if (!record) return kFailure;
  record->cursor = 0;
  WindowThread::Run([record] {
    // Room for the copy was reserved at open: no allocation per data set.
    record->shown.assign(record->buffer.begin(), record->buffer.end());
    GraphLibrary::Show(record->window, record->shown.data(), static_cast<long long>(record->shown.size()));
    // The repaint happens before the reply is sent.
    QCoreApplication::processEvents();
  });
  return 0;
}

int GraphCluster::PumpMessages() {
  WindowThread::DispatchPending();
  return 0;
}

int GraphCluster::AppendData() {
  GraphRecord* record = ReadRecord();
  int32_t samples = channel->ReadWord();
  // The samples go straight into the buffer at the write position when the
  // request's count says they fit there: one copy per request, not two.
  std::size_t room = record ? record->buffer.size() - record->cursor : 0;
  if (!record || samples < 0 || static_cast<std::size_t>(samples) > room ||
      static_cast<std::size_t>(samples) > kMaximumAppend) {
    channel->ReadBytesBounded(nullptr, 0);  // skipped, so the request stays in step
    return kFailure;
  }
  uint32_t expected = 8u * static_cast<uint32_t>(samples);
  double* at = record->buffer.data() + record->cursor;
  uint32_t count = channel->ReadBytesBounded(at, expected);
  if (count != expected) {
    // The string disagreed with the count: what it wrote past the write
    // position is put back, so a refused request leaves the buffer as it was.
    PutBack(*record, std::min(count, expected));
    return kFailure;
  }
  record->cursor += static_cast<std::size_t>(samples);
  return 0;
}

void GraphCluster::PutBack(GraphRecord& record, uint32_t bytes) {
  // Past the write position the buffer holds what the last Show took (the
  // whole buffer then, and only the part before the position has been
  // written since), or zeros before the first Show.
  std::size_t first = record.cursor;
  std::size_t last = std::min(record.buffer.size(), first + (bytes + 7) / 8);
  for (std::size_t i = first; i < last; ++i)
    record.buffer[i] = i < record.shown.size() ? record.shown[i] : 0.0;
}

int GraphCluster::SetGraphTile() {
  GraphRecord* record = ReadRecord();
  char title[kTextSize + 1];
  bool fits = ReadText(title);
  if (!record || !fits) return kFailure;
  WindowThread::Run([&] { record->window->SetGraphTile(title); });
  return 0;
}

void GraphCluster::WriteOpenGraphs() {
  std::string directory = GraphSnapshot::Directory();
  if (directory.empty()) return;
  WindowThread::Run([&directory] {
    GraphTable::ForEach([&directory](GraphRecord& record) { GraphSnapshot::Write(record, directory); });
  });
}

}  // namespace veltra
