// Spectrel as an outside program and the engine use it: the exported graph
// library interface with its handlers, and the graph services of cluster
// 0x300.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QWidget>
#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

#include "platform/DynamicLibrary.h"
#include "platform/settings/Registry.h"
#include "tests/support/FakeChannel.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"
#include "veltra/Cluster.h"
#include "veltra/GraphHandler.h"
#include "veltra/ServerError.h"

namespace veltra::test {
namespace {

// A host's message: a value, the bytes Read/ReadBlock hand out, and a log of
// the calls the handler made.
class TestMessage final : public GraphMessage {
 public:
  TestMessage(int value, std::vector<unsigned char> bytes) : value_(value), bytes_(std::move(bytes)) {}
  void Reserved1() override { log += "r1 "; }
  void Reserved2() override { log += "r2 "; }
  void Reserved3() override { log += "r3 "; }
  int Value() override {
    log += "value ";
    return value_;
  }
  void Finish(int value) override { log += "finish" + std::to_string(value) + " "; }
  void Reserved6() override { log += "r6 "; }
  void Read(int n, void* destination) override {
    log += "read" + std::to_string(n) + " ";
    std::memcpy(destination, bytes_.data(), std::min<std::size_t>(n, bytes_.size()));
  }
  int ReadBlock(int n, void* destination, int zero) override {
    log += "block" + std::to_string(n) + "," + std::to_string(zero) + " ";
    if (failBlock) return 0;
    std::memcpy(destination, bytes_.data(), std::min<std::size_t>(n, bytes_.size()));
    return 1;
  }
  void Discard() override { log += "discard "; }

  std::string log;
  bool failBlock = false;

 private:
  int value_;
  std::vector<unsigned char> bytes_;
};

std::vector<unsigned char> Bytes(const void* data, std::size_t size) {
  auto* bytes = static_cast<const unsigned char*>(data);
  return {bytes, bytes + size};
}

class SpectrelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DynamicLibrary library;
    ASSERT_TRUE(library.Load(TestBinDirectory() + "/Spectrel.so")) << library.Error();
    // Kept for the life of the process, as plug-ins are: windows left open
    // are destroyed by the application object at the very end.
    handle_ = library.Detach();
    openLib_ = Function<void* (*)(const char*)>("OpenLib");
    closeLib_ = Function<void (*)(void*)>("CloseLib");
    show_ = Function<int (*)(void*, const double*)>("Show");
    setXTitle_ = Function<int (*)(void*, const char*, const char*)>("SetXTitle");
    setPhis_ = Function<int (*)(void*, int, int, double, double)>("SetAxisRangesPhis");
    setUser_ = Function<int (*)(void*, double, double, double, double)>("SetAxisRangesUser");
    setTitle_ = Function<int (*)(void*, const char*)>("SetGraphTile");
    openHandler_ = Function<GraphHandler* (*)()>("OpenHandler");
    closeHandler_ = Function<void (*)(GraphHandler*)>("CloseHandler");
    ASSERT_TRUE(openLib_ && closeLib_ && show_ && setXTitle_ && setPhis_ && setUser_ && setTitle_ &&
                openHandler_ && closeHandler_);
    for (const char* name : {"SetYTitle", "ClusterInit", "ClusterClose"})
      EXPECT_TRUE(Function<void*>(name)) << name;
  }

  QWidget* NewWindow(const std::set<QWidget*>& before) {
    QWidget* found = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets())
      if (!before.count(widget) && widget->inherits("veltra::GraphWindow")) found = widget;
    return found;
  }
  std::set<QWidget*> Windows() {
    auto list = QApplication::topLevelWidgets();
    return {list.begin(), list.end()};
  }
  static bool Stored(const std::string& name) {
    return Registry::KeyExists(RegistryRoot::LocalMachine, "SOFTWARE\\Orv Limited\\Plexa_300\\" + name);
  }

  template <typename F>
  F Function(const char* name) {
    return reinterpret_cast<F>(DynamicLibrary::Symbol(handle_, name));
  }

  void* handle_ = nullptr;
  void* (*openLib_)(const char*) = nullptr;
  void (*closeLib_)(void*) = nullptr;
  int (*show_)(void*, const double*) = nullptr;
  int (*setXTitle_)(void*, const char*, const char*) = nullptr;
  int (*setPhis_)(void*, int, int, double, double) = nullptr;
  int (*setUser_)(void*, double, double, double, double) = nullptr;
  int (*setTitle_)(void*, const char*) = nullptr;
  GraphHandler* (*openHandler_)() = nullptr;
  void (*closeHandler_)(GraphHandler*) = nullptr;
};

TEST_F(SpectrelTest, LibraryWindowsAndNullArguments) {
  closeLib_(nullptr);
  closeHandler_(nullptr);
  std::set<QWidget*> before = Windows();
  void* window = openLib_("library");
  ASSERT_TRUE(window);
  QWidget* widget = NewWindow(before);
  ASSERT_TRUE(widget);
  EXPECT_EQ(widget->windowTitle(), "Graph");
  EXPECT_TRUE(Stored("library"));
  EXPECT_EQ(setTitle_(window, "Library graph"), 0);
  EXPECT_EQ(widget->windowTitle(), "Library graph");
  std::vector<double> data(64, 1.0);
  EXPECT_EQ(setPhis_(window, 0, 64, 0, 64), 0);
  EXPECT_EQ(setUser_(window, 0, 64, 0, 2), 0);
  EXPECT_EQ(show_(window, data.data()), 0);
  QApplication::processEvents();
  // Closed by the user: the calls change nothing visible, CloseLib frees it.
  widget->close();
  EXPECT_EQ(show_(window, data.data()), 0);
  EXPECT_EQ(setTitle_(window, "Gone"), 0);
  EXPECT_EQ(widget->windowTitle(), "Library graph");
  closeLib_(window);
}

TEST_F(SpectrelTest, HandlersNamesMessagesAndADroppedBuffer) {
  std::set<QWidget*> before = Windows();
  GraphHandler* first = openHandler_();
  QWidget* window = NewWindow(before);
  ASSERT_TRUE(first && window);
  EXPECT_TRUE(Stored("number0"));
  // Destroying a handler counts it out: the next one is number0 again, and
  // its window stays open.
  closeHandler_(first);
  EXPECT_TRUE(window->isVisible());
  before = Windows();
  GraphHandler* handler = openHandler_();
  window = NewWindow(before);
  ASSERT_TRUE(window);
  EXPECT_FALSE(Stored("number1"));
  GraphHandler* second = openHandler_();
  EXPECT_TRUE(Stored("number1"));
  closeHandler_(second);

  EXPECT_EQ(handler->Reserved2(nullptr), 0);
  EXPECT_EQ(handler->Reserved4(nullptr, nullptr), 0);
  EXPECT_EQ(handler->Reserved7(nullptr, nullptr), 1);
  EXPECT_EQ(handler->Reserved8(nullptr, nullptr), 1);

  // Commands: titles, ranges, and a code that changes nothing.
  char texts[128] = {};
  std::strcpy(texts, "Time");
  std::strcpy(texts + 64, "s");
  TestMessage xTitle(11, Bytes(texts, sizeof texts));
  EXPECT_EQ(handler->Command(&xTitle, 0), 0);
  EXPECT_EQ(xTitle.log, "value read128 ");
  unsigned char layout[24];
  int32_t firstIndex = 0, count = 16;
  double minimum = 0, size = 16;
  std::memcpy(layout, &firstIndex, 4);
  std::memcpy(layout + 4, &count, 4);
  std::memcpy(layout + 8, &minimum, 8);
  std::memcpy(layout + 16, &size, 8);
  TestMessage phis(13, Bytes(layout, sizeof layout));
  EXPECT_EQ(handler->Command(&phis, 0), 0);
  EXPECT_EQ(phis.log, "value read24 ");
  double ranges[4] = {0, 16, -1, 2};
  TestMessage user(14, Bytes(ranges, sizeof ranges));
  EXPECT_EQ(handler->Command(&user, 0), 0);
  EXPECT_EQ(user.log, "value read32 ");
  TestMessage other(15, {});
  EXPECT_EQ(handler->Command(&other, 0), 0);
  EXPECT_EQ(other.log, "value ");
  QApplication::processEvents();
  QImage withRanges = window->grab().toImage();

  // Data: received, shown, dropped.
  std::vector<double> samples(16);
  for (int k = 0; k < 16; ++k) samples[k] = (k % 2) ? 0.9 : -0.9;
  TestMessage data(16 * 8, Bytes(samples.data(), 16 * 8));
  EXPECT_EQ(handler->ReceiveData(&data, 0), 0);
  EXPECT_EQ(data.log, "value block128,0 ");
  TestMessage showMessage(7, {});
  EXPECT_EQ(handler->ShowData(&showMessage, 0), 0);
  EXPECT_EQ(showMessage.log, "value finish7 ");
  QApplication::processEvents();
  QImage shown = window->grab().toImage();
  EXPECT_NE(shown, withRanges);

  TestMessage drop(0, {});
  EXPECT_EQ(handler->DropData(&drop, 0), 0);
  EXPECT_EQ(drop.log, "discard ");
  TestMessage again(0, {});
  EXPECT_EQ(handler->DropData(&again, 0), 0);
  EXPECT_EQ(again.log, "");
  // A full repaint after the drop must not read the freed bytes (the
  // sanitizer build would stop here) and draws no trace.
  window->repaint();
  EXPECT_EQ(window->grab().toImage(), withRanges);

  // A data message whose bytes cannot be read leaves nothing held.
  TestMessage failed(64, Bytes(samples.data(), 64));
  failed.failBlock = true;
  EXPECT_EQ(handler->ReceiveData(&failed, 0), 1);
  EXPECT_EQ(failed.log, "value block64,0 discard ");
  TestMessage nothing(0, {});
  EXPECT_EQ(handler->DropData(&nothing, 0), 0);
  EXPECT_EQ(nothing.log, "");
  closeHandler_(handler);
}

TEST_F(SpectrelTest, GraphServicesOfTheCombinedCluster) {
  auto init = Function<ClusterInitFunction>("ClusterInit");
  auto close = Function<ClusterCloseFunction>("ClusterClose");
  Cluster* cluster = init();
  ASSERT_TRUE(cluster);
  FakeChannel channel;
  cluster->channel = &channel;
  EXPECT_STREQ(cluster->Name(), "Example Cluster");
  EXPECT_EQ(cluster->Dispatch(0x300, 0), 0);
  channel.Text("combined");
  channel.Word(4);
  int handle = cluster->Dispatch(0x300, 1);
  EXPECT_GE(handle, 0x100);
  EXPECT_TRUE(Stored("combined"));
  // 11 to 21 are the control-panel services; 22 is the first that is none.
  for (int service : {22, 23, 255}) {
    try {
      cluster->Dispatch(0x300, service);
      ADD_FAILURE() << service;
    } catch (const ServerError& error) {
      EXPECT_EQ(error.what(), "Example Cluster has no service number " + std::to_string(service));
    }
  }
  channel.Word(handle);
  EXPECT_EQ(cluster->Dispatch(0x300, 2), 0);
  close(cluster);
}

}  // namespace
}  // namespace veltra::test

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  veltra::test::TempDir settings(true);
  QApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
