// Board Properties of the simulated network in a process with a window
// system: a window listing every board and its application's process.
#include <QDialog>
#include <QTreeWidget>

#include "SimulatorTestSupport.h"
#include "platform/RecordingUi.h"
#include "tests/support/ModalScript.h"

namespace veltra::sim::test {
namespace {

class SimulatorPropertiesTest : public SimulatorTest {
 protected:
  void SetUp() override {
    SimulatorTest::SetUp();
    Ui::Install(&ui_);
  }
  void TearDown() override {
    SimulatorTest::TearDown();
    Ui::Install(nullptr);
  }
  RecordingUi ui_;
};

TEST_F(SimulatorPropertiesTest, ListsEveryBoardWithItsRunningApplication) {
  ::setenv("VELTRA_SIM_BOARDS", "3", 1);
  pid_t running = LoadTestApp(Board(2));
  ASSERT_GT(running, 0);
  std::vector<std::vector<std::string>> rows;
  std::string title;
  veltra::test::WithModal([&] { Board(0)->ShowProperties(); },
                          [&](QDialog* dialog) {
                            title = dialog->windowTitle().toStdString();
                            auto* boards = dialog->findChild<QTreeWidget*>("boards");
                            ASSERT_NE(boards, nullptr);
                            for (int row = 0; row < boards->topLevelItemCount(); ++row) {
                              rows.emplace_back();
                              for (int column = 0; column < 3; ++column)
                                rows.back().push_back(boards->topLevelItem(row)->text(column).toStdString());
                            }
                            if (const char* dir = std::getenv("VELTRA_SCREENSHOT_DIR")) {
                              EXPECT_TRUE(dialog->grab().save(QString("%1/simulator.png").arg(dir)));
                            }
                          });
  EXPECT_EQ(title, "Board Properties");
  EXPECT_EQ(rows, (std::vector<std::vector<std::string>>{{"Simulated DSP (this link)", "1", "none running"},
                                                         {"Simulated DSP", "2", "none running"},
                                                         {"Simulated DSP", "3", std::to_string(running)}}));
  EXPECT_TRUE(ui_.Boxes().empty());

  // Once the board is reset its application is gone from the list.
  Board(2)->Reset();
  rows.clear();
  veltra::test::WithModal([&] { Board(2)->ShowProperties(); },
                          [&](QDialog* dialog) {
                            auto* boards = dialog->findChild<QTreeWidget*>("boards");
                            ASSERT_NE(boards, nullptr);
                            ASSERT_EQ(boards->topLevelItemCount(), 3);
                            EXPECT_EQ(boards->topLevelItem(2)->text(0).toStdString(),
                                      "Simulated DSP (this link)");
                            EXPECT_EQ(boards->topLevelItem(2)->text(2).toStdString(), "none running");
                          });
}

}  // namespace
}  // namespace veltra::sim::test
