// Locks, the properties dialog, the stored settings read back through the
// store, and the saved text file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <cstring>
#include <filesystem>

#include "platform/RecordingUi.h"
#include "platform/settings/Registry.h"
#include "platform/settings/tests/StoreTestSupport.h"
#include "plugins/graph/DefaultPlacement.h"
#include "plugins/graph/GraphPropertiesDialog.h"
#include "plugins/graph/TraceFile.h"
#include "plugins/graph/tests/GraphTestSupport.h"

namespace veltra {
namespace {

namespace fs = std::filesystem;

std::string KeyOf(const std::string& name) {
  return GraphSettingsKey::KeyPath(test::kBranch, name);
}

float StoredFloat(const Registry& key, const std::string& name) {
  float value = -1;
  EXPECT_EQ(key.ReadBinary(name, &value, sizeof value), RegistryStatus::Ok) << name;
  return value;
}

TEST(GraphSettingsTest, FreshGraphCreatesItsKeyAndWritesAll29ValuesOnClose) {
  test::TempDir config(true);
  auto window = test::OpenWindow("fresh");
  ASSERT_TRUE(window);
  EXPECT_EQ(window->SettingsPath(), "SOFTWARE\\Orv Limited\\Plexa_301\\fresh");
  ASSERT_TRUE(Registry::KeyExists(RegistryRoot::LocalMachine, KeyOf("fresh")));
  EXPECT_TRUE(Registry(RegistryRoot::LocalMachine, KeyOf("fresh")).Values().empty());
  EXPECT_EQ(window->ColorMapNumber(), 2);
  EXPECT_FALSE(window->VideoFilter());
  EXPECT_EQ(window->windowTitle(), "Graph");
  for (bool locked : window->Properties().locked) EXPECT_FALSE(locked);

  window->move(30, 40);
  window->resize(500, 350);
  window->close();
  EXPECT_FALSE(window->Exists());

  Registry key(RegistryRoot::LocalMachine, KeyOf("fresh"));
  const std::vector<RegistryValue> values = key.Values();
  std::vector<std::string> names;
  for (const RegistryValue& v : values) names.push_back(v.name);
  EXPECT_EQ(names, (std::vector<std::string>{
                       "Left",     "Top",         "Width",   "Height",       "Color",   "Filter",
                       "SaveFile", "TitleFlag",   "Title",   "XTitleFlag",   "XTitle",  "XUnitFlag",
                       "XUnit",    "YTitleFlag",  "YTitle",  "YUnitFlag",    "YUnit",   "XMinFlag",
                       "XMin",     "XSizeFlag",   "XSize",   "YMinFlag",     "YMin",    "YSizeFlag",
                       "YSize",    "PhysMinFlag", "PhysMin", "PhysSizeFlag", "PhysSize"}));
  int32_t number = 0;
  EXPECT_EQ(key.ReadInt("Left", number), RegistryStatus::Ok);
  EXPECT_EQ(number, 30);
  EXPECT_EQ(key.ReadInt("Width", number), RegistryStatus::Ok);
  EXPECT_EQ(number, 500);
  EXPECT_EQ(key.ReadInt("Color", number), RegistryStatus::Ok);
  EXPECT_EQ(number, 2);
  EXPECT_EQ(key.ReadInt("XMinFlag", number), RegistryStatus::Ok);
  EXPECT_EQ(number, 0);
  std::string text;
  EXPECT_EQ(key.ReadString("XUnit", text), RegistryStatus::Ok);
  EXPECT_EQ(text, "[Hz]");
  EXPECT_EQ(key.ReadString("SaveFile", text), RegistryStatus::Ok);
  EXPECT_EQ(text, "");
  // Ranges are raw 4-byte floats, whether locked or not.
  EXPECT_EQ(StoredFloat(key, "XSize"), 100.0f);
  EXPECT_EQ(StoredFloat(key, "PhysMin"), 0.0f);
  RegistryValue raw;
  ASSERT_EQ(key.Query("YSize", raw), RegistryStatus::Ok);
  EXPECT_EQ(raw.type, RegistryType::Binary);
  EXPECT_EQ(raw.data.size(), 4u);

  // A closed window ignores the data and range operations.
  std::vector<double> data = test::Spectrum(1024);
  const int traces = window->TraceRedraws();
  window->Show(data.data(), 1024);
  window->SetGraphTile("After");
  QApplication::processEvents();
  EXPECT_EQ(window->TraceRedraws(), traces);
  EXPECT_EQ(window->windowTitle(), "Graph");
}

TEST(GraphSettingsTest, StoredValuesLoadAndLocksWithMissingOrMistypedValuesHoldTheDefaults) {
  test::TempDir config(true);
  {
    Registry key(RegistryRoot::LocalMachine, KeyOf("stored"));
    key.WriteInt("Left", 10);
    key.WriteInt("Top", 20);
    key.WriteInt("Width", 500);
    key.WriteInt("Height", 300);
    key.WriteInt("Color", 4);
    key.WriteInt("Filter", 1);
    key.WriteString("SaveFile", "/tmp/last.txt");
    key.WriteInt("TitleFlag", 1);
    key.WriteString("Title", "Locked");
    key.WriteInt("XTitleFlag", 1);
    key.WriteString("XTitle", "Time");
    key.WriteInt("XMinFlag", 1);
    const float half = 0.5f;
    key.WriteBinary("XMin", &half, 4);
    key.WriteInt("YSizeFlag", 1);  // flag without a value
    key.WriteInt("PhysMinFlag", 1);
    key.WriteInt("PhysMin", 7);  // a number where a float belongs
    key.WriteInt("PhysSizeFlag", 1);
    const double wide = 3.0;
    key.WriteBinary("PhysSize", &wide, 8);  // 8 bytes where 4 belong
    key.WriteInt("YUnitFlag", 0);
    key.WriteString("YUnit", "[V]");
  }
  GraphWindow window(test::kBranch, "stored");
  const GraphProperties& props = window.Properties();
  EXPECT_EQ(window.pos(), QPoint(10, 20));
  EXPECT_EQ(window.size(), QSize(500, 300));
  EXPECT_EQ(window.ColorMapNumber(), 4);
  EXPECT_TRUE(window.VideoFilter());
  EXPECT_EQ(window.LastSaveFile(), "/tmp/last.txt");
  EXPECT_EQ(window.windowTitle(), "Locked");
  EXPECT_EQ(props.Text(GraphProperty::XTitle), "Time");
  EXPECT_EQ(props.Number(GraphProperty::XMin), 0.5);
  // Locks whose values are missing or mistyped hold the defaults.
  EXPECT_TRUE(props.locked[Index(GraphProperty::YSize)]);
  EXPECT_EQ(props.Number(GraphProperty::YSize), 100);
  EXPECT_TRUE(props.locked[Index(GraphProperty::PhysMin)]);
  EXPECT_EQ(props.Number(GraphProperty::PhysMin), 0);
  EXPECT_TRUE(props.locked[Index(GraphProperty::PhysSize)]);
  EXPECT_EQ(props.Number(GraphProperty::PhysSize), 100);
  window.SetAxisRangesPhis(0, 1024, -50, 3);
  EXPECT_EQ(props.Number(GraphProperty::PhysSize), 100);
  EXPECT_EQ(props.Text(GraphProperty::YUnit), "[dB]");

  // The locked title keeps the caption; the given one is still stored.
  window.show();
  window.SetGraphTile("From the DSP");
  EXPECT_EQ(window.windowTitle(), "Locked");
  EXPECT_EQ(props.givenText[Index(GraphProperty::Title)], "From the DSP");
}

TEST(GraphSettingsTest, TheCombinedPlugInKeepsItsSettingsUnderItsOwnBranch) {
  test::TempDir config(true);
  {
    Registry key(RegistryRoot::LocalMachine, "SOFTWARE\\Orv Limited\\Plexa_300\\combined");
    ASSERT_EQ(key.WriteInt("Color", 9), RegistryStatus::Ok);
  }
  GraphWindow combined("Plexa_300", "combined");
  EXPECT_EQ(combined.ColorMapNumber(), 9);
  EXPECT_EQ(combined.SettingsPath(), "SOFTWARE\\Orv Limited\\Plexa_300\\combined");
  GraphWindow alone("Plexa_301", "combined");
  EXPECT_EQ(alone.ColorMapNumber(), 2);
  combined.SetColorMap(4);
  combined.Destroy();
  alone.Destroy();
  int32_t color = 0;
  EXPECT_EQ(Registry(RegistryRoot::LocalMachine, "SOFTWARE\\Orv Limited\\Plexa_300\\combined")
                .ReadInt("Color", color),
            RegistryStatus::Ok);
  EXPECT_EQ(color, 4);
  EXPECT_EQ(Registry(RegistryRoot::LocalMachine, KeyOf("combined")).ReadInt("Color", color),
            RegistryStatus::Ok);
  EXPECT_EQ(color, 2);
}

TEST(GraphSettingsTest, WindowsWithoutAStoredPlaceTileTheDesktop) {
  test::TempDir config(true);
  const QSize desktop = QGuiApplication::primaryScreen()->geometry().size();
  const int n = DefaultPlacement::Placed();
  GraphWindow a(test::kBranch, "tileA");
  GraphWindow b(test::kBranch, "tileB");
  const PixelRect ra = DefaultPlacement::For(n, desktop.width(), desktop.height());
  const PixelRect rb = DefaultPlacement::For(n + 1, desktop.width(), desktop.height());
  EXPECT_EQ(a.pos(), QPoint(ra.left, ra.top));
  EXPECT_EQ(a.size(), QSize(ra.Width(), ra.Height()));
  EXPECT_EQ(b.pos(), QPoint(rb.left, rb.top));
}

TEST(GraphSettingsTest, ReadOnlyStoreLoadsAndNeverWrites) {
  test::TempDir config(true);
  {
    Registry key(RegistryRoot::LocalMachine, KeyOf("readonly"));
    key.WriteInt("Color", 3);
    key.WriteInt("XTitleFlag", 1);
    key.WriteString("XTitle", "Kept");
  }
  fs::permissions(config.File("machine.db"),
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  fs::permissions(config.Path(), fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                     fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  const std::string report = test::InChild(
      [] {
        test::ChildChecks check;
        GraphSettingsKey key(test::kBranch, "readonly");
        check.Expect(!key.IsWritable(), "key opens read-only");
        GraphSettings settings;
        GraphProperties properties;
        key.Load(settings, properties);
        check.Expect(settings.colorMap == 3, "colour map loaded");
        check.Expect(properties.locked[Index(GraphProperty::XTitle)] &&
                         properties.Text(GraphProperty::XTitle) == "Kept",
                     "locked title loaded");
        settings.colorMap = 9;
        check.Expect(key.Save(settings, properties), "saving to a read-only key is no failure");
        GraphSettingsKey again(test::kBranch, "readonly");
        again.Load(settings, properties);
        check.Expect(settings.colorMap == 3, "nothing written");
        return check.Report();
      },
      true);
  EXPECT_EQ(report, "");
  Registry key(RegistryRoot::LocalMachine, KeyOf("readonly"));
  EXPECT_EQ(key.Values().size(), 3u);
}

TEST(GraphPropertiesDialogTest, LockBoxesActAtOnceAndCancelKeepsWhatTheyDid) {
  test::TempDir config(true);
  GraphWindow window(test::kBranch, "dialog");
  window.SetXTitle("Frequency", "[Hz]");
  GraphPropertiesDialog dialog(window);
  QLineEdit* edit = dialog.Edit(GraphProperty::XTitle);
  EXPECT_FALSE(edit->isEnabled());
  EXPECT_EQ(edit->text(), "Frequency");
  EXPECT_EQ(dialog.Edit(GraphProperty::XSize)->text(), "100.000000");

  dialog.LockBox(GraphProperty::XTitle)->click();
  EXPECT_TRUE(window.Properties().locked[Index(GraphProperty::XTitle)]);
  EXPECT_TRUE(edit->isEnabled());
  // The given title arriving later does not reach the locked one.
  window.SetXTitle("Later", "[s]");
  edit->setText("Typed");
  // Another box refills every edit from the stored values.
  dialog.LockBox(GraphProperty::YUnit)->click();
  EXPECT_EQ(edit->text(), "Frequency");
  edit->setText("Typed");
  dialog.reject();
  EXPECT_TRUE(window.Properties().locked[Index(GraphProperty::XTitle)]);
  EXPECT_EQ(window.Properties().Text(GraphProperty::XTitle), "Frequency");
  EXPECT_EQ(window.Properties().Text(GraphProperty::XUnit), "[s]");

  // Unlocking goes back to the given value.
  GraphPropertiesDialog again(window);
  again.LockBox(GraphProperty::XTitle)->click();
  EXPECT_EQ(again.Edit(GraphProperty::XTitle)->text(), "Later");
}

TEST(GraphPropertiesDialogTest, OkParsesNumbersThroughA32BitFloatAndKeepsOldValuesForNonNumbers) {
  test::TempDir config(true);
  GraphWindow window(test::kBranch, "numbers");
  {
    GraphPropertiesDialog dialog(window);
    dialog.LockBox(GraphProperty::XMin)->click();
    dialog.LockBox(GraphProperty::XSize)->click();
    dialog.LockBox(GraphProperty::XUnit)->click();
    dialog.Edit(GraphProperty::XMin)->setText("0.1");
    dialog.Edit(GraphProperty::XSize)->setText("lots");
    dialog.Edit(GraphProperty::XUnit)->setText("[kHz]");
    dialog.Edit(GraphProperty::YMin)->setText("55");  // not locked: not read
    dialog.accept();
  }
  const GraphProperties& props = window.Properties();
  EXPECT_EQ(props.Number(GraphProperty::XMin), static_cast<double>(0.1f));
  EXPECT_NE(props.Number(GraphProperty::XMin), 0.1);
  EXPECT_EQ(props.Number(GraphProperty::XSize), 100);
  EXPECT_EQ(props.Text(GraphProperty::XUnit), "[kHz]");
  EXPECT_EQ(props.Number(GraphProperty::YMin), 0);
  GraphPropertiesDialog shown(window);
  EXPECT_EQ(shown.Edit(GraphProperty::XMin)->text(), "0.100000");

  float value = 0;
  EXPECT_TRUE(GraphPropertiesDialog::ParseFloat("  12.5 Hz", value));
  EXPECT_EQ(value, 12.5f);
  EXPECT_TRUE(GraphPropertiesDialog::ParseFloat("+3", value));
  EXPECT_EQ(value, 3.0f);
  EXPECT_TRUE(GraphPropertiesDialog::ParseFloat("-1e3", value));
  EXPECT_EQ(value, -1000.0f);
  EXPECT_FALSE(GraphPropertiesDialog::ParseFloat("", value));
  EXPECT_FALSE(GraphPropertiesDialog::ParseFloat("abc", value));
  EXPECT_FALSE(GraphPropertiesDialog::ParseFloat("- 3", value));
}

TEST(GraphPropertiesDialogTest, AutoTakesTheDataRangeIntoTheLockedPhysicalRange) {
  test::TempDir config(true);
  GraphWindow window(test::kBranch, "auto");
  std::vector<double> data(1024);
  for (int k = 0; k < 1024; ++k) data[k] = -80 + 70.0 * k / 1023;
  GraphPropertiesDialog dialog(window);
  dialog.LockBox(GraphProperty::PhysMin)->click();
  dialog.AutoButton()->click();  // no data set yet: nothing
  EXPECT_EQ(window.Properties().Number(GraphProperty::PhysMin), 0);
  window.show();
  window.Show(data.data(), 1024);
  dialog.LockBox(GraphProperty::PhysSize)->click();
  dialog.AutoButton()->click();
  EXPECT_EQ(window.Properties().Number(GraphProperty::PhysMin), -80);
  EXPECT_EQ(window.Properties().Number(GraphProperty::PhysSize), 70);
  EXPECT_EQ(dialog.Edit(GraphProperty::PhysMin)->text(), "-80.000000");
  EXPECT_EQ(dialog.Edit(GraphProperty::PhysSize)->text(), "70.000000");

  // Only the points that exist count, however large count is.
  window.SetAxisRangesPhis(0, 100000, 0, 100);
  double low = 0, high = 0;
  ASSERT_TRUE(window.DataRange(low, high));
  EXPECT_EQ(low, -80);
  EXPECT_EQ(high, -10);
}

TEST(GraphPropertiesDialogTest, OpenedFromTheMenuItSetsTheCaptionOnClose) {
  test::TempDir config(true);
  auto window = test::OpenWindow("menudialog");
  ASSERT_TRUE(window);
  bool seen = false;
  QTimer::singleShot(50, [&seen] {
    auto* dialog = qobject_cast<GraphPropertiesDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    seen = true;
    dialog->LockBox(GraphProperty::Title)->click();
    dialog->Edit(GraphProperty::Title)->setText("Mine");
    QTest::mouseClick(dialog->findChild<QPushButton*>("1"), Qt::LeftButton);
  });
  window->Command(kCommandGraphProperties);
  EXPECT_TRUE(seen);
  EXPECT_EQ(window->windowTitle(), "Mine");
}

std::string FileContents(const std::string& path) {
  return test::ReadWhole(path);
}

TEST(TraceFileTest, SavedPointsAreSixDecimalsWithLineFeedThenCarriageReturn) {
  test::TempDir config(true);
  auto window = test::OpenWindow("save");
  ASSERT_TRUE(window);
  const std::string empty = config.File("empty.txt");
  EXPECT_TRUE(window->SaveToFile(empty));  // before any data set
  EXPECT_TRUE(fs::exists(empty));
  EXPECT_EQ(fs::file_size(empty), 0u);

  const double three[] = {1.5, -2, 0};
  window->SetAxisRangesPhis(0, 3, -5, 10);
  window->Show(three, 3);
  QApplication::processEvents();
  const std::string path = config.File("three.txt");
  ASSERT_TRUE(window->SaveToFile(path));
  EXPECT_EQ(FileContents(path), std::string("1.500000\n\r-2.000000\n\r0.000000\n\r"));
  EXPECT_EQ(fs::file_size(path), 31u);
  EXPECT_EQ(window->LastSaveFile(), path);

  // With the filter on the file holds the smoothed points.
  std::vector<double> nine = {0, 0, 0, 0, 10, 0, 0, 0, 0};
  window->SetVideoFilter(true);
  window->SetAxisRangesPhis(0, 9, -5, 10);
  window->Show(nine.data(), 9);
  QApplication::processEvents();
  ASSERT_TRUE(window->SaveToFile(path));
  EXPECT_EQ(FileContents(path), std::string("0.000000\n\r0.000000\n\r0.000000\n\r0.000000\n\r3.255000\n\r"
                                            "0.000000\n\r0.000000\n\r0.000000\n\r0.000000\n\r"));
  EXPECT_EQ(TraceFile::FormatNumber(-0.0000004), "-0.000000");
  EXPECT_EQ(TraceFile::FormatNumber(1e20), "100000000000000000000.000000");
}

TEST(TraceFileTest, AFileThatCannotBeCreatedIsReportedAndItsNameKept) {
  test::TempDir config(true);
  RecordingUi ui;
  Ui::Install(&ui);
  GraphWindow window(test::kBranch, "nofile");
  const std::string path = config.File("no/such/directory/out.txt");
  EXPECT_FALSE(window.SaveToFile(path));
  Ui::Install(nullptr);
  const std::vector<RecordedBox> boxes = ui.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Could not create the file");
  EXPECT_EQ(boxes[0].caption, "Error");
  EXPECT_EQ(boxes[0].icon, MessageIcon::Information);
  EXPECT_EQ(window.LastSaveFile(), path);
}

}  // namespace
}  // namespace veltra
