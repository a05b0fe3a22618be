// The control-panel cluster library as the engine uses it: loaded by name,
// its services dispatched with the arguments of one request each, the
// windows driven as a user would drive them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>
#include <cstring>
#include <set>

#include "platform/DynamicLibrary.h"
#include "platform/RecordingUi.h"
#include "platform/settings/Registry.h"
#include "tests/support/FakeChannel.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"
#include "veltra/Cluster.h"
#include "veltra/ServerError.h"

namespace veltra::test {
namespace {

constexpr int kCluster = 0x310;

enum Service {
  kOpenStatus = 1,
  kShowStatus,
  kOpenInput,
  kReadInput,
  kCloseInput,
  kOpenPanel,
  kReadPanel,
  kClosePanel,
  kAskYesNo
};

struct Block {
  int32_t adc, dac, generator, frequency, amplitude;
  std::string path;
  int32_t terminate;
};

int32_t Word(const std::vector<unsigned char>& bytes, std::size_t at) {
  int32_t value;
  std::memcpy(&value, &bytes[at], 4);
  return value;
}

std::set<QWidget*> VisibleWindows() {
  std::set<QWidget*> visible;
  if (!QApplication::instance()) return visible;
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (widget->isVisible()) visible.insert(widget);
  return visible;
}

class PanelClusterTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    config_ = new TempDir(true);
    ASSERT_TRUE(library_.Load(TestBinDirectory() + "/Plexa_310.so")) << library_.Error();
  }
  void SetUp() override {
    // What an earlier test left open saves into the store it then clears.
    for (QWidget* window : VisibleWindows()) window->close();
    Registry::DeleteKey(RegistryRoot::LocalMachine, "SOFTWARE\\Orv Limited\\Plexa_310");
    NewRun();
  }
  void TearDown() override { EndRun(); }

  // A new run: a new cluster object with no windows.
  void NewRun() {
    EndRun();
    auto init = library_.Function<ClusterInitFunction>("ClusterInit");
    ASSERT_TRUE(init);
    cluster_ = init();
    ASSERT_TRUE(cluster_);
    cluster_->channel = &channel_;
  }
  void EndRun() {
    if (!cluster_) return;
    library_.Function<ClusterCloseFunction>("ClusterClose")(cluster_);
    cluster_ = nullptr;
  }

  int Call(int service) {
    channel_.words.clear();
    channel_.bytes.clear();
    int result = cluster_->Dispatch(kCluster, service);
    EXPECT_EQ(channel_.Unread(), 0u) << "service " << service << " left arguments unread";
    return result;
  }
  // The window that service opened.
  QDialog* Open(int service) {
    const std::set<QWidget*> before = VisibleWindows();
    EXPECT_EQ(Call(service), 0);
    QDialog* opened = nullptr;
    for (QWidget* window : VisibleWindows())
      if (!before.count(window)) opened = qobject_cast<QDialog*>(window);
    return opened;
  }
  Block ReadPanel() {
    EXPECT_EQ(Call(kReadPanel), 0);
    EXPECT_TRUE(channel_.words.empty());
    if (channel_.bytes.size() != 1 || channel_.bytes[0].size() != 536) {
      ADD_FAILURE() << "no 536-byte block";
      return {};
    }
    const auto& b = channel_.bytes[0];
    // The path's field always ends in a zero.
    EXPECT_NE(std::memchr(&b[20], 0, 512), nullptr);
    return {Word(b, 0),  Word(b, 4),  Word(b, 8),
            Word(b, 12), Word(b, 16), std::string(reinterpret_cast<const char*>(&b[20])),
            Word(b, 532)};
  }
  // {result, words}
  std::pair<int, std::vector<int32_t>> ReadInput() {
    int result = Call(kReadInput);
    return {result, channel_.words};
  }
  int ShowStatus(const std::string& text) {
    channel_.Text(text);
    return Call(kShowStatus);
  }
  static std::optional<int32_t> Stored(const char* window, const char* name) {
    Registry key(RegistryRoot::LocalMachine, std::string("SOFTWARE\\Orv Limited\\Plexa_310\\") + window);
    int32_t value;
    if (key.ReadInt(name, value) != RegistryStatus::Ok) return std::nullopt;
    return value;
  }

  static inline TempDir* config_ = nullptr;
  static inline DynamicLibrary library_;
  Cluster* cluster_ = nullptr;
  FakeChannel channel_;
};

TEST_F(PanelClusterTest, AFreshRunAnswersFromDefaultsAndRefusesUnknownServices) {
  EXPECT_EQ(Call(0), 0);
  try {
    Call(10);
    ADD_FAILURE() << "service 10 was served";
  } catch (const no_service& error) {
    EXPECT_STREQ(error.what(), "Example Cluster has no service number 10");
  }
  EXPECT_THROW(Call(-1), no_service);

  // Nothing open yet: the text is read and not shown; the input gives nothing.
  EXPECT_EQ(ShowStatus("too early"), 1);
  EXPECT_EQ(ReadInput(), (std::pair<int, std::vector<int32_t>>{0, {}}));
  EXPECT_EQ(Call(kCloseInput), 0);
  EXPECT_EQ(Call(kClosePanel), 0);

  // Before the panel opens the block already holds what it would open with.
  Block before = ReadPanel();
  EXPECT_EQ(std::tie(before.adc, before.dac, before.generator, before.frequency, before.amplitude,
                     before.path, before.terminate),
            std::make_tuple(30, 30, 1, 50, 100, std::string(), 0));

  auto* panel = Open(kOpenPanel);
  ASSERT_TRUE(panel);
  EXPECT_EQ(panel->windowTitle(), "Orv Veltra FPGA");
  // A first run: top right of the screen.
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(panel->pos(), QPoint(screen.right() + 1 - panel->width(), 0));
  Block block = ReadPanel();
  EXPECT_EQ(std::tie(block.adc, block.dac, block.generator, block.frequency, block.amplitude, block.path,
                     block.terminate),
            std::make_tuple(30, 30, 1, 50, 100, std::string(), 0));
  EXPECT_EQ(panel->findChild<QRadioButton*>()->text(), "Sine wave");
  EXPECT_TRUE(panel->findChild<QRadioButton*>()->isChecked());
}

TEST_F(PanelClusterTest, SliderPositionsAndValueLabelsAreTakenWhenTheApplicationReads) {
  auto* panel = Open(kOpenPanel);
  ASSERT_TRUE(panel);
  auto* frequency = panel->findChild<QSlider*>("Frequency");
  auto* amplitude = panel->findChild<QSlider*>("Amplitude");
  ASSERT_TRUE(frequency && amplitude);
  frequency->setValue(12);
  amplitude->setValue(34);
  bool labelled = false;
  for (QLabel* label : panel->findChildren<QLabel*>()) labelled = labelled || label->text() == "12 MHz";
  EXPECT_FALSE(labelled) << "the label moved with the slider";
  Block block = ReadPanel();
  EXPECT_EQ(block.frequency, 12);
  EXPECT_EQ(block.amplitude, 34);
  QStringList labels;
  for (QLabel* label : panel->findChildren<QLabel*>()) labels << label->text();
  EXPECT_TRUE(labels.contains("12 MHz") && labels.contains("34 %")) << labels.join("|").toStdString();

  // Closing saves the values last taken; a new run opens with them.
  frequency->setValue(99);
  panel->move(40, 50);
  EXPECT_EQ(Call(kClosePanel), 0);
  EXPECT_FALSE(panel->isVisible());
  EXPECT_EQ(Stored("Ctrl5610", "PatternFreq"), 12);
  EXPECT_EQ(Stored("Ctrl5610", "xpos"), 40);
  EXPECT_EQ(Stored("Ctrl5610", "ypos"), 50);
  NewRun();
  auto* again = Open(kOpenPanel);
  ASSERT_TRUE(again && again != panel);
  EXPECT_EQ(again->pos(), QPoint(40, 50));
  block = ReadPanel();
  EXPECT_EQ(block.frequency, 12);
  EXPECT_EQ(block.amplitude, 34);
}

TEST_F(PanelClusterTest, ThePatternPathFollowsTheRadiosAndASavedCustomChoiceStartsEmpty) {
  auto* panel = Open(kOpenPanel);
  ASSERT_TRUE(panel);
  QRadioButton* sine = nullptr;
  QRadioButton* custom = nullptr;
  for (auto* radio : panel->findChildren<QRadioButton*>())
    (radio->text() == "Sine wave" ? sine : custom) = radio;
  ASSERT_TRUE(sine && custom);
  QMetaObject::invokeMethod(panel, "LoadPatternFile", Q_ARG(QString, "/data/ramp.pat"));
  // Loaded but not chosen: the application still reads the sine wave.
  EXPECT_EQ(ReadPanel().path, "");
  custom->click();
  EXPECT_EQ(ReadPanel().path, "/data/ramp.pat");
  EXPECT_FALSE(panel->findChild<QSlider*>("Frequency")->isEnabled());
  sine->click();
  EXPECT_EQ(ReadPanel().path, "");
  EXPECT_TRUE(panel->findChild<QSlider*>("Frequency")->isEnabled());
  custom->click();
  Call(kClosePanel);
  EXPECT_EQ(Stored("Ctrl5610", "CustomPattern"), 1);

  NewRun();
  panel = Open(kOpenPanel);
  ASSERT_TRUE(panel);
  for (auto* radio : panel->findChildren<QRadioButton*>())
    EXPECT_EQ(radio->isChecked(), radio->text() == "Custom pattern");
  EXPECT_EQ(ReadPanel().path, "");
  for (auto* radio : panel->findChildren<QRadioButton*>())
    if (radio->text() == "Custom pattern") radio->click();
  EXPECT_EQ(ReadPanel().path, "/data/ramp.pat");
}

TEST_F(PanelClusterTest, TerminateOnTheMainPanelAndTheStatusWindow) {
  auto* panel = Open(kOpenPanel);
  ASSERT_TRUE(panel);
  EXPECT_EQ(ReadPanel().terminate, 0);
  for (auto* button : panel->findChildren<QPushButton*>())
    if (button->text() == "&Terminate") button->click();
  EXPECT_FALSE(panel->isVisible());
  EXPECT_EQ(ReadPanel().terminate, 1);
  EXPECT_TRUE(Stored("Ctrl5610", "xpos").has_value());

  auto* status = Open(kOpenStatus);
  ASSERT_TRUE(status);
  EXPECT_EQ(ShowStatus("Running"), 0);
  status->move(7, 9);
  for (auto* button : status->findChildren<QPushButton*>()) button->click();
  EXPECT_FALSE(status->isVisible());
  EXPECT_EQ(ShowStatus("after"), 1);
  EXPECT_EQ(Stored("MainCtrl", "left"), 7);
  EXPECT_EQ(Stored("MainCtrl", "top"), 9);
}

TEST_F(PanelClusterTest, TheInputWindowRestoresItsSlidersAndPlaceAndAnswersClosedOnceClosed) {
  auto* input = Open(kOpenInput);
  ASSERT_TRUE(input);
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(input->pos(), QPoint(screen.right() + 1 - input->width(), screen.height() / 2 + 20));
  EXPECT_EQ(ReadInput(), (std::pair<int, std::vector<int32_t>>{100, {100}}));
  input->findChild<QSlider*>("Frequency")->setValue(20);
  input->findChild<QSlider*>("Amplitude")->setValue(70);
  EXPECT_EQ(ReadInput(), (std::pair<int, std::vector<int32_t>>{70, {20}}));
  input->move(100, 120);
  EXPECT_EQ(Call(kCloseInput), 0);
  EXPECT_EQ(ReadInput(), (std::pair<int, std::vector<int32_t>>{0, {}}));

  auto* again = Open(kOpenInput);
  ASSERT_TRUE(again && again != input);
  EXPECT_EQ(again->pos(), QPoint(100, 120));
  EXPECT_EQ(ReadInput(), (std::pair<int, std::vector<int32_t>>{70, {20}}));
  // Closed by the user: closed for the application too.
  again->close();
  EXPECT_EQ(ReadInput(), (std::pair<int, std::vector<int32_t>>{0, {}}));
}

TEST_F(PanelClusterTest, TextsAreCutAtTheirBufferAndQuestionsGoToABoxOfNoWindow) {
  auto* status = Open(kOpenStatus);
  ASSERT_TRUE(status);
  // 300 bytes and no zero: the first 128 are shown, nothing is overrun.
  std::string longText(300, 'x');
  channel_.Bytes(longText.data(), longText.size());
  EXPECT_EQ(Call(kShowStatus), 0);
  QObject* display = status->findChild<QObject*>("display");
  ASSERT_TRUE(display);
  EXPECT_EQ(display->property("text").toString().toStdString(), std::string(128, 'x'));
  // A short text without its zero ends where its bytes end.
  channel_.Bytes("abc", 3);
  EXPECT_EQ(Call(kShowStatus), 0);
  EXPECT_EQ(display->property("text").toString(), "abc");

  RecordingUi ui;
  Ui::Install(&ui);
  ui.QueueAnswer(MessageResult::Yes);
  channel_.Text("Caption");
  channel_.Text("Go on?");
  EXPECT_EQ(Call(kAskYesNo), 1);
  channel_.Text("Caption");
  channel_.Text("Again?");
  EXPECT_EQ(Call(kAskYesNo), 0);  // the default button: No
  Ui::Install(nullptr);
  auto boxes = ui.Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].owner, nullptr);
  EXPECT_EQ(boxes[0].caption, "Caption");
  EXPECT_EQ(boxes[0].text, "Go on?");
  EXPECT_EQ(boxes[0].icon, MessageIcon::Question);
  EXPECT_EQ(boxes[0].buttons, MessageButtons::YesNo);
}

}  // namespace
}  // namespace veltra::test
