// The pure rules of start-up: the command line, the extension rule, window
// placement and the title.
#include <gtest/gtest.h>

#include "host/ApplicationTitle.h"
#include "host/HostCommandLine.h"
#include "host/WindowPlacement.h"
#include "tests/support/TempDir.h"

namespace veltra {
namespace {

TEST(HostCommandLineTest, FirstNonFlagIsTheApplicationAndOnlyTwoSpellingsOfExitCount) {
  auto parsed = ParseHostCommandLine({"-exit", "demo", "other"});
  EXPECT_EQ(parsed.application, "demo");
  EXPECT_TRUE(parsed.exitFlag);
  EXPECT_TRUE(ParseHostCommandLine({"x.app", "-EXIT"}).exitFlag);
  EXPECT_FALSE(ParseHostCommandLine({"x.app", "-Exit"}).exitFlag);
  EXPECT_FALSE(ParseHostCommandLine({"x.app", "--exit"}).exitFlag);
  EXPECT_EQ(ParseHostCommandLine({"-Exit"}).application, "");
}

TEST(HostCommandLineTest, AnExtensionIsADotAfterTheLastSeparator) {
  EXPECT_EQ(WithApplicationExtension("demo"), "demo.app");
  EXPECT_EQ(WithApplicationExtension("old.files\\demo"), "old.files\\demo.app");
  EXPECT_EQ(WithApplicationExtension("old.files/demo"), "old.files/demo.app");
  EXPECT_EQ(WithApplicationExtension("c:demo"), "c:demo.app");
  EXPECT_EQ(WithApplicationExtension("demo.out"), "demo.out");
  EXPECT_EQ(WithApplicationExtension("dir/demo."), "dir/demo.");
  EXPECT_FALSE(HasExtension(""));
}

TEST(HostCommandLineTest, ApplicationsThatCannotBeOpenedAreRefusedWithAReason) {
  test::TempDir dir;
  std::string file = dir.File("demo.app");
  FILE* f = std::fopen(file.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  EXPECT_EQ(ApplicationFileProblem(file), "");
  EXPECT_NE(ApplicationFileProblem(dir.File("missing.app")), "");
  EXPECT_EQ(ApplicationFileProblem(dir.Path().string()), "it is a directory");
  EXPECT_NE(ApplicationFileProblem(std::string(300, 'a') + ".app").find("longer than 259"),
            std::string::npos);
  if (geteuid() != 0) {
    chmod(file.c_str(), 0);
    EXPECT_NE(ApplicationFileProblem(file), "");
  }
}

TEST(WindowPlacementTest, WithNothingStoredTheFirstWindowIs250By200AtTheOrigin) {
  WorkArea area{1280, 800, 1280, 800};
  EXPECT_EQ(PlaceWindow({}, 1, area), (WindowRect{0, 200, 0, 250}));
}

TEST(WindowPlacementTest, LaterInstancesMove28PixelsEachAndStayOnTheWorkArea) {
  WorkArea area{1280, 800, 1280, 800};
  WindowRect stored{100, 500, 200, 800};
  EXPECT_EQ(PlaceWindow(stored, 3, area), (WindowRect{156, 556, 256, 856}));
  // Pushed back inside at the bottom right edges, keeping the size.
  WindowRect corner{500, 790, 1000, 1270};
  EXPECT_EQ(PlaceWindow(corner, 2, area), (WindowRect{510, 800, 1010, 1280}));
}

TEST(WindowPlacementTest, NegativeAndOversizedRectanglesAreClamped) {
  WorkArea area{1000, 600, 1000, 600};
  // Negative edges: top and left become 0, bottom and right half the area.
  EXPECT_EQ(PlaceWindow({-50, -10, -20, -5}, 1, area), (WindowRect{0, 300, 0, 500}));
  // Larger than the area: half the area from the top left.
  EXPECT_EQ(PlaceWindow({0, 900, 0, 1500}, 1, area), (WindowRect{0, 300, 0, 500}));
  // Too small: at least 250 x 200.
  EXPECT_EQ(PlaceWindow({10, 20, 10, 20}, 1, area), (WindowRect{10, 210, 10, 260}));
}

TEST(WindowPlacementTest, AStoredDialogPlaceIsBroughtOntoTheWorkArea) {
  WorkArea area{1000, 600, 1000, 600};
  EXPECT_EQ(PlaceDialog(100, 200, 400, 120, area), (DialogPlace{100, 200}));
  EXPECT_EQ(PlaceDialog(10, -40, 400, 120, area), (DialogPlace{10, 0}));
  // The bottom and right edges land on the work area's edges.
  EXPECT_EQ(PlaceDialog(590, 900, 400, 120, area), (DialogPlace{480, 600}));
  EXPECT_EQ(PlaceDialog(480, 600, 400, 120, area), (DialogPlace{480, 600}));
  // Larger than the area: the top left corner stays on it.
  EXPECT_EQ(PlaceDialog(50, 50, 1200, 700, area), (DialogPlace{0, 0}));
}

TEST(ApplicationTitleTest, TheFirstInstanceHasNoNumberAndLaterOnesUseHashMinus2d) {
  EXPECT_EQ(ApplicationTitle(1, "/x/hello.app"), "Veltra Server:    /x/hello.app");
  EXPECT_EQ(ApplicationTitle(1, ""), "Veltra Server:    <no Veltra application has been selected>");
  EXPECT_EQ(ApplicationTitle(2, "a.app"), "#2  Veltra Server:a.app");
  EXPECT_EQ(ApplicationTitle(12, "a.app"), "#12 Veltra Server:a.app");
  // Kept to the 256-character buffer.
  EXPECT_EQ(ApplicationTitle(1, std::string(400, 'p')).size(), 255u);
}

}  // namespace
}  // namespace veltra
