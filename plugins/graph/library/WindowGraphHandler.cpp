#include "plugins/graph/library/WindowGraphHandler.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "plugins/graph/GraphWindow.h"
#include "plugins/graph/cluster/GraphLibrary.h"

namespace veltra {
namespace {

// Handlers are made and destroyed on one thread.
int handlerCount = 0;

// A text of at most size bytes, ending at its zero or at size.
std::string Text(const char* bytes, std::size_t size) {
  return std::string(bytes, strnlen(bytes, size));
}

}  // namespace

int WindowGraphHandler::Count() {
  return handlerCount;
}

WindowGraphHandler::WindowGraphHandler() {
  (void)unused1_;
  (void)unused2_;
  char name[32];
  std::snprintf(name, sizeof name, "number%d", handlerCount);
  ++handlerCount;
  window_ = GraphLibrary::Open(name);
}

WindowGraphHandler::~WindowGraphHandler() {
  --handlerCount;
  Release();
}

void WindowGraphHandler::Release() {
  // The window keeps pointing at a data set until the next one: it must
  // never read the freed bytes.
  if (data_ && window_) window_->DetachData(data_.get());
  data_.reset();
  bytes_ = 0;
}

int WindowGraphHandler::ShowData(GraphMessage* message, int) {
  int value = message->Value();
  GraphLibrary::Show(window_, data_.get(), bytes_ / static_cast<long long>(sizeof(double)));
  message->Finish(value);
  return 0;
}

int WindowGraphHandler::ReceiveData(GraphMessage* message, int second) {
  DropData(message, second);
  int bytes = message->Value();
  if (bytes < 0) return 1;
  // Whole doubles are kept; the bytes beyond the last are read and not shown.
  std::size_t doubles = (static_cast<std::size_t>(bytes) + sizeof(double) - 1) / sizeof(double);
  data_.reset(new (std::nothrow) double[doubles == 0 ? 1 : doubles]);
  if (!data_) return 1;
  bytes_ = bytes;
  if (message->ReadBlock(bytes, data_.get(), 0) != 0) return 0;
  DropData(message, second);
  return 1;
}

int WindowGraphHandler::DropData(GraphMessage* message, int) {
  if (!data_) return 0;
  message->Discard();
  Release();
  return 0;
}

int WindowGraphHandler::Command(GraphMessage* message, int) {
  int code = message->Value();
  if (code == 11 || code == 12) {
    char texts[128] = {};
    message->Read(sizeof texts, texts);
    std::string title = Text(texts, 64), unit = Text(texts + 64, 64);
    if (code == 11)
      window_->SetXTitle(title, unit);
    else
      window_->SetYTitle(title, unit);
  } else if (code == 13) {
    unsigned char block[24] = {};
    message->Read(sizeof block, block);
    int32_t first, count;
    double minimum, size;
    std::memcpy(&first, block, 4);
    std::memcpy(&count, block + 4, 4);
    std::memcpy(&minimum, block + 8, 8);
    std::memcpy(&size, block + 16, 8);
    window_->SetAxisRangesPhis(first, count, minimum, size);
  } else if (code == 14) {
    double values[4] = {};
    message->Read(sizeof values, values);
    window_->SetAxisRangesUser(values[0], values[1], values[2], values[3]);
  }
  return 0;
}

}  // namespace veltra
