// The panels' plain rules and windows, and the combined plug-in's numbering
// of the services with the QMX5720 window, off screen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QThread>
#include <atomic>
#include <random>
#include <thread>

#include "platform/RecordingUi.h"
#include "platform/Ui.h"
#include "platform/settings/Registry.h"
#include "platform/settings/tests/StoreTestSupport.h"
#include "plugins/panel/BigText.h"
#include "plugins/panel/MainPanel.h"
#include "plugins/panel/ModulePanel.h"
#include "plugins/panel/PanelKey.h"
#include "plugins/panel/PanelPlacement.h"
#include "plugins/panel/PanelServices.h"
#include "plugins/panel/PanelWindow.h"
#include "tests/support/FakeChannel.h"
#include "tests/support/TempDir.h"

namespace veltra {
namespace {

int32_t WordAt(const std::array<unsigned char, PanelSettings::kBlockSize>& block, std::size_t at) {
  return static_cast<int32_t>(block[at] | block[at + 1] << 8 | block[at + 2] << 16 |
                              static_cast<uint32_t>(block[at + 3]) << 24);
}

// The services never delete their windows (a run's windows outlive it); the
// tests do, so that the test program ends without leaks.
void DeletePanelWindows() {
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (qobject_cast<PanelWindow*>(widget)) delete widget;
}

TEST(PanelRulesTest, TheBlockIsLittleEndianWithTheTerminateFlagAfterTheWholePathField) {
  PanelSettings settings;
  settings.adcMhz = 105;
  settings.dacMhz = 40;
  settings.dacAsPattern = false;
  settings.patternFrequency = 7;
  settings.patternAmplitude = 0x01020304;
  settings.patternPath = "/p";
  settings.terminate = true;
  auto block = settings.Block();
  EXPECT_EQ(WordAt(block, 0), 105);
  EXPECT_EQ(WordAt(block, 4), 40);
  EXPECT_EQ(WordAt(block, 8), 0);
  EXPECT_EQ(WordAt(block, 12), 7);
  EXPECT_EQ(block[16], 0x04);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&block[20])), "/p");
  EXPECT_EQ(WordAt(block, 532), 1);

  // A path longer than its field is cut and keeps its zero.
  settings.patternPath = std::string(600, 'a');
  block = settings.Block();
  EXPECT_EQ(block[20 + 510], 'a');
  EXPECT_EQ(block[20 + 511], 0);
  EXPECT_EQ(WordAt(block, 532), 1);
}

TEST(PanelRulesTest, PlacesFrequenciesAndControls) {
  const QRect screen(0, 0, 1280, 1024);
  const QSize window(300, 200);
  EXPECT_EQ(PanelPlacement::TopRight(screen, window), QPoint(980, 0));
  EXPECT_EQ(PanelPlacement::BelowMiddle(screen, window), QPoint(980, 532));
  EXPECT_EQ(PanelPlacement::AboveMiddle(screen, window), QPoint(980, 292));
  EXPECT_EQ(PanelRules::ModuleFrequency(0), 50);
  EXPECT_EQ(PanelRules::ModuleFrequency(50), 525);
  EXPECT_EQ(PanelRules::ModuleFrequency(1), 59);
  EXPECT_EQ(PanelRules::ModuleFrequency(100), 1000);
  EXPECT_EQ(PatternControlsFor(false, false).radios, false);
  EXPECT_EQ(PatternControlsFor(false, false).sliders, false);
  EXPECT_EQ(PatternControlsFor(true, true).radios, true);
  EXPECT_EQ(PatternControlsFor(true, true).sliders, false);
  EXPECT_EQ(PatternControlsFor(true, false).sliders, true);
}

TEST(PanelSettingsTest, MissingOrMistypedValuesKeepTheirDefaults) {
  test::TempDir config(true);
  {
    Registry key(RegistryRoot::LocalMachine, PanelKey::KeyPath("Plexa_310", "Ctrl5610"));
    key.WriteString("AdcFreq", "60");  // wrong type
    key.WriteInt("DacFreq", 45);       // not one of the list's entries
    key.WriteBinary("DacAsPattern", "\0\0", 2);
    key.WriteInt("PatternFreq", 250);  // beyond the slider
    key.WriteInt("CustomPattern", 1);
    key.WriteString("PatternFile", "/data/saw.pat");
  }
  PanelKey key("Plexa_310", "Ctrl5610");
  MainPanelState state = MainPanelState::Load(key);
  EXPECT_EQ(state.block.adcMhz, 30);
  EXPECT_EQ(state.block.dacMhz, 30);
  EXPECT_TRUE(state.block.dacAsPattern);
  EXPECT_EQ(state.block.patternFrequency, 100);
  EXPECT_EQ(state.block.patternAmplitude, 100);
  EXPECT_TRUE(state.customPattern);
  EXPECT_EQ(state.patternFile, "/data/saw.pat");
  EXPECT_EQ(state.block.patternPath, "");

  MainPanel panel("Plexa_310");
  EXPECT_TRUE(panel.CustomRadio()->isChecked());
  EXPECT_EQ(panel.FileEdit()->text(), "/data/saw.pat");
  EXPECT_FALSE(panel.FrequencySlider()->isEnabled());
  EXPECT_TRUE(panel.LoadButton()->isEnabled());
  EXPECT_EQ(panel.AdcList()->currentText(), "30 MHz");
  // The list's choice is what the application reads.
  panel.DacList()->setCurrentIndex(8);
  Q_EMIT panel.DacList()->activated(8);
  EXPECT_EQ(panel.TakeSettings().dacMhz, 105);
  panel.PatternCheck()->click();
  EXPECT_FALSE(panel.TakeSettings().dacAsPattern);
  EXPECT_FALSE(panel.SineRadio()->isEnabled());
  EXPECT_FALSE(panel.LoadButton()->isEnabled());
  panel.close();
  EXPECT_EQ(PanelKey("Plexa_310", "Ctrl5610").ReadInt("DacFreq"), 105);
  EXPECT_EQ(PanelKey("Plexa_310", "Ctrl5610").ReadInt("DacAsPattern"), 0);
}

TEST(PanelSettingsTest, AReadOnlyStoreGivesItsValuesAndTakesNothing) {
  test::TempDir config(true);
  {
    PanelKey key("Plexa_310", "Ctrl5610");
    key.WriteInt("AdcFreq", 80);
    key.WriteInt("xpos", 12);
  }
  std::filesystem::permissions(config.File("machine.db"), std::filesystem::perms::owner_read |
                                                              std::filesystem::perms::group_read |
                                                              std::filesystem::perms::others_read);
  std::filesystem::permissions(config.Path(),
                               std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec |
                                   std::filesystem::perms::group_read | std::filesystem::perms::group_exec |
                                   std::filesystem::perms::others_read | std::filesystem::perms::others_exec);
  const std::string report = test::InChild(
      [] {
        test::ChildChecks check;
        PanelKey key("Plexa_310", "Ctrl5610");
        check.Expect(!key.IsWritable(), "key opens read-only");
        MainPanelState state = MainPanelState::Load(key);
        check.Expect(state.block.adcMhz == 80, "stored value read");
        check.Expect(state.block.dacMhz == 30, "default kept");
        state.block.adcMhz = 40;
        state.Save(key);
        key.WriteInt("xpos", 99);
        PanelKey again("Plexa_310", "Ctrl5610");
        check.Expect(MainPanelState::Load(again).block.adcMhz == 80, "nothing written");
        check.Expect(again.ReadInt("xpos") == 12, "place not written");
        check.Expect(!again.ReadInt("DacFreq").has_value(), "no new value");
        return check.Report();
      },
      true);
  EXPECT_EQ(report, "");
  std::filesystem::permissions(config.Path(), std::filesystem::perms::owner_all);
  std::filesystem::permissions(config.File("machine.db"),
                               std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST(BigTextTest, BoldBlackWhenEnabledGreyWhenDisabled) {
  BigText text;
  text.resize(300, 80);
  text.SetText(QStringLiteral("Hello"));
  EXPECT_TRUE(text.TextFont().bold());
  EXPECT_EQ(text.TextFont().pixelSize(), 50);
  auto darkest = [&text] {
    const QImage image = text.grab().toImage();
    int darkest = 255;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) darkest = std::min(darkest, qGray(image.pixel(x, y)));
    return darkest;
  };
  EXPECT_EQ(darkest(), 0);
  text.setEnabled(false);
  const int grey = darkest();
  EXPECT_GT(grey, 60);
  EXPECT_LT(grey, qGray(text.palette().color(QPalette::Window).rgb()));
  // Blank text: only the background.
  text.setEnabled(true);
  text.SetText(QString());
  EXPECT_EQ(darkest(), qGray(text.palette().color(QPalette::Window).rgb()));
}

TEST(CombinedNumberingTest, ModuleServicesAndTheGapsAroundThem) {
  test::TempDir config(true);
  test::FakeChannel channel;
  PanelServices combined("Plexa_300", PanelServices::Numbering::Combined);
  int result = -1;
  for (int service : {0, 1, 9, 10, 22}) EXPECT_FALSE(combined.Serve(service, channel, result)) << service;
  PanelServices standalone("Plexa_310", PanelServices::Numbering::Standalone);
  for (int service : {0, 10, 11, 19}) EXPECT_FALSE(standalone.Serve(service, channel, result)) << service;

  // Not open yet: 0 and no words.
  ASSERT_TRUE(combined.Serve(20, channel, result));
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(channel.words.empty());

  ASSERT_TRUE(combined.Serve(19, channel, result));
  ModulePanel* module = nullptr;
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (auto* found = qobject_cast<ModulePanel*>(widget); found && found->isVisible()) module = found;
  ASSERT_TRUE(module);
  EXPECT_EQ(module->pos(), QPoint(0, 0));
  ASSERT_TRUE(combined.Serve(20, channel, result));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(channel.words, (std::vector<int32_t>{50, 50, 50, 0}));

  module->FrequencySlider()->setValue(50);
  module->TriggerISlider()->setValue(3);
  module->SplitCheck()->setChecked(true);
  module->move(30, 40);
  module->close();
  channel.Clear();
  ASSERT_TRUE(combined.Serve(20, channel, result));
  EXPECT_EQ(result, 1);
  EXPECT_EQ(channel.words, (std::vector<int32_t>{525, 3, 50, 1}));
  PanelKey key("Plexa_300", "Ctrl5720");
  EXPECT_EQ(key.ReadInt("Freq5720"), 50);
  EXPECT_EQ(key.ReadInt("Split5720"), 1);
  EXPECT_EQ(key.ReadInt("left"), 30);

  // The numbers 11 to 18 and 21 are the standalone ones moved up by ten.
  channel.Clear();
  channel.Text("early");
  ASSERT_TRUE(combined.Serve(12, channel, result));
  EXPECT_EQ(result, 1);
  ASSERT_TRUE(combined.Serve(17, channel, result));
  ASSERT_EQ(channel.bytes.size(), 1u);
  EXPECT_EQ(channel.bytes[0].size(), 536u);
  DeletePanelWindows();
}

// Requests of any shape to every number of both numberings: the replies keep
// their shape, and nothing is written past a buffer (the sanitizer build
// checks that).
TEST(PanelFuzzTest, RandomRequestsNeverOverrunAndAlwaysReplyInShape) {
  test::TempDir config(true);
  RecordingUi ui;
  Ui::Install(&ui);
  std::mt19937 random(20261207);
  PanelServices standalone("Plexa_310", PanelServices::Numbering::Standalone);
  PanelServices combined("Plexa_300", PanelServices::Numbering::Combined);
  test::FakeChannel channel;
  for (int round = 0; round < 600; ++round) {
    channel.Clear();
    const int arguments = static_cast<int>(random() % 4);
    for (int i = 0; i < arguments; ++i) {
      if (random() % 2) {
        channel.Word(static_cast<int32_t>(random()));
      } else {
        std::vector<unsigned char> bytes(random() % 300);
        for (auto& byte : bytes) byte = static_cast<unsigned char>(random() % 4 ? 'a' + random() % 26 : 0);
        channel.Bytes(bytes.data(), bytes.size());
      }
    }
    const int service = static_cast<int>(random() % 24) - 1;
    PanelServices& services = random() % 2 ? standalone : combined;
    int result = -7;
    if (!services.Serve(service, channel, result)) {
      EXPECT_EQ(result, -7);
      continue;
    }
    // Replies: at most the four module words, or the one 536-byte block.
    EXPECT_LE(channel.words.size(), 4u) << service;
    for (const auto& bytes : channel.bytes) EXPECT_EQ(bytes.size(), 536u);
    if (round % 50 == 0) QApplication::processEvents();
  }
  Ui::Install(nullptr);
  DeletePanelWindows();
}

// As in the GUI host: the services run on a server thread and every window
// call is handed to the GUI thread, which stays free between requests.
class GuiThreadUi : public UiBackend {
 public:
  MessageResult MessageBox(WindowHandle, const std::string&, const std::string&, MessageIcon, MessageButtons,
                           MessageResult answer) override {
    return answer;
  }
  void PostQuit(WindowHandle) override {}
  void Invoke(const std::function<void()>& function) override {
    if (QThread::currentThread() == qApp->thread()) return function();
    QMetaObject::invokeMethod(qApp, function, Qt::BlockingQueuedConnection);
  }
};

TEST(GuiThreadTest, ServicesFromTheServerThreadLeaveTheWindowsOnTheGuiThread) {
  test::TempDir config(true);
  GuiThreadUi ui;
  Ui::Install(&ui);
  PanelServices services("Plexa_310", PanelServices::Numbering::Standalone);
  test::FakeChannel channel;
  std::atomic<bool> done{false};
  std::vector<int> results;
  std::thread server([&] {
    int result = -1;
    for (int service : {6, 7, 3, 4, 8}) {
      services.Serve(service, channel, result);
      results.push_back(result);
    }
    done = true;
  });
  while (!done) QApplication::processEvents(QEventLoop::AllEvents, 10);
  server.join();
  Ui::Install(nullptr);
  EXPECT_EQ(results, (std::vector<int>{0, 0, 0, 100, 0}));
  EXPECT_EQ(channel.words, (std::vector<int32_t>{100}));
  ASSERT_EQ(channel.bytes.size(), 1u);
  EXPECT_EQ(channel.bytes[0].size(), 536u);
  int windows = 0;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (!qobject_cast<PanelWindow*>(widget)) continue;
    ++windows;
    EXPECT_EQ(widget->thread(), qApp->thread());
  }
  EXPECT_GE(windows, 2);
  // Closed from the server thread, saved before the reply.
  EXPECT_TRUE(PanelKey("Plexa_310", "Ctrl5610").ReadInt("xpos").has_value());
  DeletePanelWindows();
}

}  // namespace
}  // namespace veltra
