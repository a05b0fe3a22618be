// veltra-plot as a user runs it, without a display.
#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace veltra::test {
namespace {

ProcessResult Plot(const TempDir& settings, const std::vector<std::string>& args,
                   const std::string& input = "") {
  ProcessOptions options;
  options.environment["VELTRA_CONFIG_DIR"] = settings.Path().string();
  options.environment["DISPLAY"] = std::nullopt;
  options.environment["WAYLAND_DISPLAY"] = std::nullopt;
  options.input = input;
  options.timeoutMilliseconds = 30000;
  return RunProcess(TestBinDirectory() + "/veltra-plot", args, options);
}

bool IsPng(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  char magic[8] = {};
  in.read(magic, sizeof magic);
  return in && std::string(magic + 1, 3) == "PNG";
}

TEST(PlotTest, AFileOrAPipeDrawnIntoAPicture) {
  TempDir settings, work;
  std::ofstream(work.File("saved.txt")) << "0.000000\n\r1.000000\n\r4.000000\n\r9.000000\n\r";
  ProcessResult file =
      Plot(settings, {"--png", work.File("file.png"), "--title", "Squares", work.File("saved.txt")});
  EXPECT_EQ(file.exitStatus, 0) << file.err;
  EXPECT_TRUE(IsPng(work.File("file.png")));

  std::string numbers;
  for (int k = 0; k < 300; ++k) numbers += std::to_string(k % 17) + (k % 10 ? " " : "\n");
  ProcessResult pipe = Plot(settings,
                            {"--count", "100", "--y-range", "0:20", "--x-title", "Time", "--x-unit", "s",
                             "--size", "320x240", "--png", work.File("pipe.png")},
                            numbers);
  EXPECT_EQ(pipe.exitStatus, 0) << pipe.err;
  EXPECT_TRUE(IsPng(work.File("pipe.png")));
}

TEST(PlotTest, NothingToPlotAndBadOptionsAreErrors) {
  TempDir settings, work;
  ProcessResult empty = Plot(settings, {"--png", work.File("none.png")}, "no numbers here");
  EXPECT_EQ(empty.exitStatus, 1);
  EXPECT_NE(empty.err.find("no numbers to plot"), std::string::npos);
  EXPECT_EQ(Plot(settings, {"--count", "0"}).exitStatus, 2);
  EXPECT_EQ(Plot(settings, {"--y-range", "3:3"}).exitStatus, 2);
  EXPECT_EQ(Plot(settings, {"--bogus"}).exitStatus, 2);
  // Would wait for the end of a file that only grows.
  std::ofstream(work.File("growing.txt")) << "1 2 3\n";
  ProcessResult followed =
      Plot(settings, {"--follow", "--png", work.File("f.png"), work.File("growing.txt")});
  EXPECT_EQ(followed.exitStatus, 2);
  EXPECT_NE(followed.err.find("--follow and --png"), std::string::npos);
  EXPECT_EQ(Plot(settings, {work.File("missing.txt")}).exitStatus, 1);
}

}  // namespace
}  // namespace veltra::test
