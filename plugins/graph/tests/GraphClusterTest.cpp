// The graph cluster library as the engine uses it: loaded by name, its
// services dispatched with the arguments of one request each.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QWidget>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "platform/DynamicLibrary.h"
#include "platform/settings/Registry.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FakeChannel.h"
#include "tests/support/TempDir.h"
#include "veltra/Cluster.h"
#include "veltra/ServerError.h"

namespace veltra::test {
namespace {

constexpr int kCluster = 0x301;

class GraphClusterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DynamicLibrary library;
    ASSERT_TRUE(library.Load(TestBinDirectory() + "/Plexa_301.so")) << library.Error();
    // Kept for the life of the process, as the engine keeps plug-ins: windows
    // left open are destroyed by the application object at the very end.
    handle_ = library.Detach();
    init_ = Function<ClusterInitFunction>("ClusterInit");
    close_ = Function<ClusterCloseFunction>("ClusterClose");
    ASSERT_TRUE(init_ && close_);
    cluster_ = init_();
    ASSERT_TRUE(cluster_);
    cluster_->channel = &channel_;
    setenv("VELTRA_GRAPHS_DIR", graphs_.Path().c_str(), 1);
  }
  void TearDown() override {
    if (cluster_) close_(cluster_);
    unsetenv("VELTRA_GRAPHS_DIR");
  }

  int Call(int service) {
    int result = cluster_->Dispatch(kCluster, service);
    // Every service reads exactly its own arguments.
    EXPECT_EQ(channel_.Unread(), 0u) << "service " << service;
    channel_.Clear();
    return result;
  }
  int Open(const std::string& name, int32_t capacity) {
    channel_.Text(name);
    channel_.Word(capacity);
    return Call(1);
  }
  int Append(int32_t handle, const std::vector<double>& values) {
    channel_.Word(handle);
    channel_.Word(static_cast<int32_t>(values.size()));
    channel_.Doubles(values);
    return Call(9);
  }
  int Simple(int service, int32_t handle) {
    channel_.Word(handle);
    return Call(service);
  }
  // The window a call opened: the one top-level widget that was not there before.
  QWidget* NewWindow(const std::set<QWidget*>& before) {
    QWidget* found = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets())
      if (!before.count(widget) && widget->isWindow() && widget->inherits("veltra::GraphWindow"))
        found = widget;
    return found;
  }
  std::set<QWidget*> Windows() {
    auto list = QApplication::topLevelWidgets();
    return {list.begin(), list.end()};
  }
  // The values of a written CSV file, in order.
  std::vector<double> Csv(const std::string& name) {
    std::ifstream in(graphs_.File(name + ".csv"));
    std::string line;
    std::vector<double> values;
    if (!std::getline(in, line) || line != "index,value") return {-1};
    while (std::getline(in, line))
      values.push_back(std::strtod(line.substr(line.find(',') + 1).c_str(), nullptr));
    return values;
  }

  TempDir graphs_;
  template <typename F>
  F Function(const char* name) {
    return reinterpret_cast<F>(DynamicLibrary::Symbol(handle_, name));
  }

  void* handle_ = nullptr;
  ClusterInitFunction init_ = nullptr;
  ClusterCloseFunction close_ = nullptr;
  Cluster* cluster_ = nullptr;
  FakeChannel channel_;
};

TEST_F(GraphClusterTest, ProbeNameAndServicesBeyondTheTable) {
  EXPECT_STREQ(cluster_->Name(), "Example Cluster");
  EXPECT_EQ(cluster_->Dispatch(kCluster, 0), 0);
  try {
    cluster_->Dispatch(kCluster, 11);
    FAIL() << "service 11 answered";
  } catch (const ServerError& error) {
    EXPECT_STREQ(error.what(), "Example Cluster has no service number 11");
  }
}

TEST_F(GraphClusterTest, HandlesThatWereNeverOpenedOrAreClosedReachNothing) {
  std::vector<int32_t> foreign = {0, 1, 99, 0x100 - 1, 0x7fffffff, -1};
  for (int32_t handle : foreign) {
    EXPECT_EQ(Simple(2, handle), 99);
    EXPECT_EQ(Simple(7, handle), 99);
    EXPECT_EQ(Append(handle, {1.0}), 99);
    channel_.Word(handle);
    channel_.Text("t");
    channel_.Text("u");
    EXPECT_EQ(Call(3), 99);
    channel_.Word(handle);
    channel_.Text("title");
    EXPECT_EQ(Call(10), 99);
  }
  int handle = Open("closed", 8);
  ASSERT_GE(handle, 0x100);
  EXPECT_EQ(Simple(2, handle), 0);
  EXPECT_EQ(Simple(2, handle), 99);
  EXPECT_EQ(Simple(7, handle), 99);
  EXPECT_EQ(Append(handle, {1.0}), 99);
  // A handle is never given out again.
  int next = Open("closed", 8);
  EXPECT_NE(next, handle);
  EXPECT_EQ(Simple(2, next), 0);
}

TEST_F(GraphClusterTest, RefusedRequestsWriteNothingAndStayInStep) {
  EXPECT_EQ(Open(std::string(128, 'n'), 8), 99);  // 129 bytes with the zero
  EXPECT_EQ(Open("zero", 0), 99);
  EXPECT_EQ(Open("negative", -5), 99);
  EXPECT_EQ(Open("huge", 0x7fffffff), 99);
  std::set<QWidget*> before = Windows();
  int handle = Open(std::string(127, 'n'), 6);  // 128 bytes with the zero
  ASSERT_GE(handle, 0x100);
  QWidget* window = NewWindow(before);
  ASSERT_TRUE(window);

  channel_.Word(handle);
  channel_.Text(std::string(200, 't'));
  EXPECT_EQ(Call(10), 99);
  EXPECT_EQ(window->windowTitle(), "Graph");
  for (std::size_t size : {23u, 25u, 0u}) {
    std::vector<unsigned char> block(size, 0);
    channel_.Word(handle);
    channel_.Bytes(block.data(), block.size());
    EXPECT_EQ(Call(5), 99) << size;
  }
  for (std::size_t size : {31u, 33u}) {
    std::vector<unsigned char> block(size, 0);
    channel_.Word(handle);
    channel_.Bytes(block.data(), block.size());
    EXPECT_EQ(Call(6), 99) << size;
  }

  EXPECT_EQ(Append(handle, {1, 2, 3, 4}), 0);
  EXPECT_EQ(Append(handle, {5, 6, 7}), 99);  // one past the capacity
  // A count word that disagrees with the samples sent.
  channel_.Word(handle);
  channel_.Word(1);
  channel_.Doubles({8, 9});
  EXPECT_EQ(Call(9), 99);
  EXPECT_EQ(Append(handle, {5, 6}), 0);  // the refused requests left the cursor alone
  EXPECT_EQ(Append(handle, {7}), 99);    // full
  EXPECT_EQ(Simple(7, handle), 0);
  EXPECT_EQ(Simple(2, handle), 0);
  // File names are cut at 100 characters.
  EXPECT_EQ(Csv(std::string(100, 'n')), (std::vector<double>{1, 2, 3, 4, 5, 6}));
}

// The samples of an AppendData go straight into the buffer; one whose byte
// string disagrees with its count is refused and must leave the buffer as it
// was, past the write position too, which the next Show shows.
TEST_F(GraphClusterTest, ARefusedAppendLeavesTheBufferAsItWas) {
  auto mismatched = [&](int32_t handle, int32_t count, const std::vector<double>& values) {
    channel_.Word(handle);
    channel_.Word(count);
    channel_.Doubles(values);
    return Call(9);
  };
  int fresh = Open("fresh", 3);
  ASSERT_GE(fresh, 0x100);
  EXPECT_EQ(mismatched(fresh, 2, {5, 5, 5}), 99);  // before any Show: zeros stay
  EXPECT_EQ(mismatched(fresh, 3, {5, 5}), 99);
  EXPECT_EQ(Simple(7, fresh), 0);
  EXPECT_EQ(Simple(2, fresh), 0);
  EXPECT_EQ(Csv("fresh"), (std::vector<double>{0, 0, 0}));

  int shown = Open("shown", 4);
  ASSERT_GE(shown, 0x100);
  EXPECT_EQ(Append(shown, {1, 2, 3, 4}), 0);
  EXPECT_EQ(Simple(7, shown), 0);
  EXPECT_EQ(Append(shown, {9}), 0);
  EXPECT_EQ(mismatched(shown, 2, {7, 7, 7}), 99);  // longer than its count
  EXPECT_EQ(mismatched(shown, 3, {6}), 99);        // shorter
  EXPECT_EQ(mismatched(shown, 1, {}), 99);
  EXPECT_EQ(Simple(7, shown), 0);
  EXPECT_EQ(Simple(2, shown), 0);
  EXPECT_EQ(Csv("shown"), (std::vector<double>{9, 2, 3, 4}));
}

TEST_F(GraphClusterTest, ADataSetInSeveralRequestsThenTheNextFromTheStart) {
  int handle = Open("split", 1024);
  ASSERT_GE(handle, 0x100);
  std::vector<double> all(1024);
  for (int i = 0; i < 1024; ++i) all[i] = i * 0.5 - 100;
  EXPECT_EQ(Append(handle, {all.begin(), all.begin() + 400}), 0);
  EXPECT_EQ(Append(handle, {all.begin() + 400, all.begin() + 800}), 0);
  EXPECT_EQ(Append(handle, {all.begin() + 800, all.end()}), 0);
  EXPECT_EQ(Simple(7, handle), 0);
  cluster_->channel = nullptr;  // the run-end files come without a request
  close_(cluster_);
  cluster_ = init_();
  cluster_->channel = &channel_;
  EXPECT_EQ(Csv("split"), all);

  EXPECT_EQ(Append(handle, {7, 8}), 0);
  EXPECT_EQ(Simple(7, handle), 0);
  std::vector<double> next = all;
  next[0] = 7;
  next[1] = 8;
  EXPECT_EQ(Simple(2, handle), 0);
  EXPECT_EQ(Csv("split"), next);
}

TEST_F(GraphClusterTest, AWindowClosedByTheUserLeavesItsRecordUntilServiceTwo) {
  std::set<QWidget*> before = Windows();
  int handle = Open("user-closed", 4);
  QWidget* window = NewWindow(before);
  ASSERT_TRUE(window);
  EXPECT_TRUE(window->isVisible());
  window->close();
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(Append(handle, {1, 2, 3, 4}), 0);
  EXPECT_EQ(Simple(7, handle), 0);
  channel_.Word(handle);
  channel_.Text("new");
  EXPECT_EQ(Call(10), 0);
  EXPECT_EQ(Call(8), 0);
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(Simple(2, handle), 0);
  EXPECT_EQ(Csv("user-closed"), (std::vector<double>{1, 2, 3, 4}));
}

TEST_F(GraphClusterTest, TwoOpenGraphsWithOneSettingsNameWriteTwoFilePairs) {
  int first = Open("same name", 2);
  int second = Open("same name", 2);
  ASSERT_NE(first, second);
  EXPECT_EQ(Append(first, {1, 2}), 0);
  EXPECT_EQ(Append(second, {3, 4}), 0);
  EXPECT_EQ(Simple(7, first), 0);
  EXPECT_EQ(Simple(7, second), 0);
  EXPECT_EQ(Simple(2, first), 0);
  EXPECT_EQ(Simple(2, second), 0);
  EXPECT_EQ(Csv("same_name"), (std::vector<double>{1, 2}));
  EXPECT_EQ(Csv("same_name-2"), (std::vector<double>{3, 4}));
  EXPECT_TRUE(std::ifstream(graphs_.File("same_name.png")).good());
  EXPECT_TRUE(std::ifstream(graphs_.File("same_name-2.png")).good());
}

TEST_F(GraphClusterTest, TheCaptionFollowsTheGraphTitleUnlessItIsLocked) {
  Registry key;
  ASSERT_TRUE(key.Open(RegistryRoot::LocalMachine, "SOFTWARE\\Orv Limited\\Plexa_301\\locked"));
  key.WriteInt("TitleFlag", 1);
  key.WriteString("Title", "Fixed");
  key.Close();

  std::set<QWidget*> before = Windows();
  int free = Open("free", 4);
  QWidget* freeWindow = NewWindow(before);
  before = Windows();
  int locked = Open("locked", 4);
  QWidget* lockedWindow = NewWindow(before);
  ASSERT_TRUE(freeWindow && lockedWindow);
  EXPECT_EQ(lockedWindow->windowTitle(), "Fixed");
  for (int handle : {free, locked}) {
    channel_.Word(handle);
    channel_.Text("Spectrum");
    EXPECT_EQ(Call(10), 0);
  }
  EXPECT_EQ(freeWindow->windowTitle(), "Spectrum");
  EXPECT_EQ(lockedWindow->windowTitle(), "Fixed");
  EXPECT_EQ(Simple(2, free), 0);
  EXPECT_EQ(Simple(2, locked), 0);
}

TEST_F(GraphClusterTest, ATitleShowsAtTheNextFullRepaintOnly) {
  std::set<QWidget*> before = Windows();
  int handle = Open("titles", 16);
  QWidget* window = NewWindow(before);
  ASSERT_TRUE(window);
  window->resize(640, 480);
  auto onScreen = [window] {
    QApplication::processEvents();
    return window->screen()->grabWindow(window->winId()).toImage();
  };
  std::vector<unsigned char> ranges(32, 0);
  double values[4] = {0, 16, -1, 2};
  std::memcpy(ranges.data(), values, sizeof values);
  channel_.Word(handle);
  channel_.Bytes(ranges.data(), ranges.size());
  EXPECT_EQ(Call(6), 0);
  QImage first = onScreen();

  channel_.Word(handle);
  channel_.Text("Time");
  channel_.Text("s");
  EXPECT_EQ(Call(3), 0);
  EXPECT_EQ(onScreen(), first);
  EXPECT_EQ(Call(8), 0);
  EXPECT_EQ(onScreen(), first);
  // The same ranges again: the whole window repaints, with the new title.
  channel_.Word(handle);
  channel_.Bytes(ranges.data(), ranges.size());
  EXPECT_EQ(Call(6), 0);
  EXPECT_NE(onScreen(), first);
  EXPECT_EQ(Simple(2, handle), 0);
}

TEST_F(GraphClusterTest, ShowRepaintsBeforeItAnswers) {
  std::set<QWidget*> before = Windows();
  int handle = Open("repaint", 64);
  QWidget* window = NewWindow(before);
  ASSERT_TRUE(window);
  // What is on the screen now, without handling any event here.
  auto screen = [window] { return window->screen()->grabWindow(window->winId()).toImage(); };
  QImage empty = screen();
  std::vector<double> ramp(64);
  for (int k = 0; k < 64; ++k) ramp[k] = 20 + k;
  EXPECT_EQ(Append(handle, ramp), 0);
  EXPECT_EQ(screen(), empty);
  EXPECT_EQ(Simple(7, handle), 0);
  QImage shown = screen();
  EXPECT_NE(shown, empty);
  QApplication::processEvents();
  EXPECT_EQ(screen(), shown);  // nothing was left for later
  EXPECT_EQ(Simple(2, handle), 0);
}

// Random requests against a model of what each must answer: any mix of open,
// closed and foreign handles, texts, blocks and sample counts of any size.
// The sanitizer build checks that nothing reaches memory it should not.
TEST_F(GraphClusterTest, RandomRequestsGetTheAnswersOfTheModel) {
  unsetenv("VELTRA_GRAPHS_DIR");  // no files for hundreds of graphs
  std::mt19937 random(20261207);
  auto below = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  struct Model {
    int32_t capacity;
    int32_t cursor;
  };
  std::map<int32_t, Model> open;
  std::vector<int32_t> closed = {0, 1, 99, 255, -7, 0x7fffffff};
  auto anyHandle = [&]() -> int32_t {
    if (!open.empty() && below(3) != 0) {
      auto it = open.begin();
      std::advance(it, below(static_cast<int>(open.size())));
      return it->first;
    }
    return closed[static_cast<std::size_t>(below(static_cast<int>(closed.size())))];
  };
  auto bytes = [&](int size) { return std::vector<unsigned char>(static_cast<std::size_t>(size), 0x41); };

  for (int step = 0; step < 3000; ++step) {
    int service = 1 + below(10);
    int expected = 0;
    int32_t handle = anyHandle();
    bool known = open.count(handle) != 0;
    switch (service) {
      case 1: {
        int nameSize = below(4) == 0 ? 100 + below(100) : below(20);
        int32_t capacity = below(8) == 0 ? static_cast<int32_t>(random()) : below(3000) - 10;
        auto name = bytes(nameSize);
        channel_.Bytes(name.data(), name.size());
        channel_.Word(capacity);
        int result = Call(1);
        if (nameSize > 128 || capacity <= 0 || capacity > (1 << 24)) {
          EXPECT_EQ(result, 99) << nameSize << " " << capacity;
        } else {
          ASSERT_GE(result, 0x100);
          EXPECT_EQ(open.count(result), 0u);
          open[result] = {capacity, 0};
        }
        continue;
      }
      case 2:
        channel_.Word(handle);
        expected = known ? 0 : 99;
        if (known) {
          open.erase(handle);
          closed.push_back(handle);
        }
        break;
      case 3:
      case 4: {
        int a = below(200), b = below(200);
        channel_.Word(handle);
        channel_.Bytes(bytes(a).data(), static_cast<std::size_t>(a));
        channel_.Bytes(bytes(b).data(), static_cast<std::size_t>(b));
        expected = known && a <= 128 && b <= 128 ? 0 : 99;
        break;
      }
      case 5:
      case 6: {
        int size = below(3) == 0 ? below(64) : (service == 5 ? 24 : 32);
        auto block = bytes(size);
        if (size == 24 || size == 32) std::fill(block.begin(), block.end(), 0);
        channel_.Word(handle);
        channel_.Bytes(block.data(), block.size());
        expected = known && size == (service == 5 ? 24 : 32) ? 0 : 99;
        break;
      }
      case 7:
        channel_.Word(handle);
        expected = known ? 0 : 99;
        if (known) open[handle].cursor = 0;
        break;
      case 8:
        break;
      case 9: {
        int32_t samples = below(1100);
        int32_t sent = below(4) == 0 ? below(1100) : samples;
        channel_.Word(handle);
        channel_.Word(samples);
        std::vector<double> values(static_cast<std::size_t>(sent), 0.5);
        channel_.Doubles(values);
        // No request block carries more than 8292 bytes.
        bool fits = known && sent == samples && 8 * sent <= 8292 &&
                    open[handle].cursor + samples <= open[handle].capacity;
        expected = fits ? 0 : 99;
        if (fits) open[handle].cursor += samples;
        break;
      }
      case 10: {
        int size = below(200);
        channel_.Word(handle);
        channel_.Bytes(bytes(size).data(), static_cast<std::size_t>(size));
        expected = known && size <= 128 ? 0 : 99;
        break;
      }
    }
    ASSERT_EQ(Call(service), expected) << "step " << step << " service " << service << " handle " << handle;
  }
  for (auto& [handle, model] : open) EXPECT_EQ(Simple(2, handle), 0);
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
