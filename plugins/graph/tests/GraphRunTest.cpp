// The graph cluster served by veltra-run to an application on the simulated
// network, without a display, writing its graphs with --graphs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace veltra::test {
namespace {

class GraphRunTest : public ::testing::Test {
 protected:
  ProcessResult Run(const std::vector<std::string>& args) {
    std::vector<std::string> all = {"--graphs", graphs_.Path().string(), "--timeout", "50"};
    all.insert(all.end(), args.begin(), args.end());
    return RunHeadless(settings_.Path().string(), all);
  }
  std::string App() const { return TestBinDirectory() + "/testapps/graphcheck.app"; }

  // index,value lines of a written CSV file; {-1} when it is missing or has
  // no header.
  std::vector<std::pair<long, double>> Csv(const std::string& name) {
    std::ifstream in(graphs_.File(name + ".csv"));
    std::string line;
    if (!std::getline(in, line) || line != "index,value") return {{-1, 0}};
    std::vector<std::pair<long, double>> points;
    while (std::getline(in, line)) {
      std::size_t comma = line.find(',');
      points.emplace_back(std::stol(line.substr(0, comma)), std::stod(line.substr(comma + 1)));
    }
    return points;
  }
  bool IsPng(const std::string& name) {
    std::ifstream in(graphs_.File(name + ".png"), std::ios::binary);
    char magic[8] = {};
    in.read(magic, sizeof magic);
    return in && std::string(magic + 1, 3) == "PNG";
  }

  TempDir settings_;
  TempDir graphs_;
};

TEST_F(GraphRunTest, ServicesResultsAndFilesWithoutADisplay) {
  ProcessResult result = Run({"--args", "edges", App()});
  EXPECT_EQ(result.out,
            "probe 0\nopen handle\nappend 0 0 0\nshow 0\nappend 0\npast 99\nshow 0\ntitles 0 0 0\n"
            "ranges 0 0\npump 0\nzero 99\nforeign 99 99\ntwins 0 0 0 0\nclosed 0 99\nbeyond\n");
  // Service 11 is beyond the table and ends the run.
  EXPECT_NE(result.err.find("Example Cluster has no service number 11"), std::string::npos) << result.err;
  EXPECT_EQ(result.exitStatus, 1);

  // The second set overwrote the first from its start.
  auto split = Csv("split");
  ASSERT_EQ(split.size(), 1024u);
  for (long k = 0; k < 1024; ++k) {
    EXPECT_EQ(split[k].first, k);
    EXPECT_EQ(split[k].second, k < 3 ? 1000.0 + k : k * 0.25 - 50) << k;
  }
  EXPECT_TRUE(IsPng("split"));
  EXPECT_EQ(Csv("twin"), (std::vector<std::pair<long, double>>{{0, 1}, {1, 2}}));
  EXPECT_EQ(Csv("twin-2"), (std::vector<std::pair<long, double>>{{0, 3}, {1, 4}}));
  // Closed before any data set was shown.
  EXPECT_TRUE(Csv("closed").empty());
  EXPECT_TRUE(IsPng("closed"));
}

TEST_F(GraphRunTest, TheCsvHoldsExactlyWhatTheApplicationSent) {
  for (int n : {1, 1034, 1035, 5000}) {
    ProcessResult result = Run({"--args", "values " + std::to_string(n), App()});
    ASSERT_EQ(result.out, "append 0\nshow 0\n") << result.err;
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    auto points = Csv("values");
    ASSERT_EQ(points.size(), static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) {
      ASSERT_EQ(points[k].first, k);
      ASSERT_EQ(points[k].second, std::sin(k / 7.0) * k) << k;
    }
    EXPECT_TRUE(IsPng("values"));
  }
}

TEST_F(GraphRunTest, TheRunnerLoadsQtOnlyWhenAGraphIsOpened) {
  ProcessResult result = Run({"--args", "qt", App()});
  EXPECT_EQ(result.out, "before no\nafter yes\n") << result.err;
  EXPECT_EQ(result.exitStatus, 0);
}

TEST_F(GraphRunTest, TheExamplesPlotWhatTheyCompute) {
  ProcessResult spectrum = Run({"--args", "5 100", TestBinDirectory() + "/examples/spectrum.app"});
  EXPECT_EQ(spectrum.exitStatus, 0) << spectrum.err;
  auto levels = Csv("Spectrum");
  ASSERT_EQ(levels.size(), 1024u);
  // The strongest tone, 1 kHz at half of full scale, lies between bins 42
  // and 43 of 23.4375 Hz: about -6 dB less the window's scalloping.
  auto peak = std::max_element(levels.begin(), levels.end(),
                               [](const auto& a, const auto& b) { return a.second < b.second; });
  EXPECT_TRUE(peak->first == 42 || peak->first == 43) << peak->first;
  EXPECT_NEAR(peak->second, -7, 1.5);
  EXPECT_LT(levels[300].second, -60);  // noise between the tones

  ProcessResult waveforms = Run({"--args", "3", TestBinDirectory() + "/examples/waveforms.app"});
  EXPECT_EQ(waveforms.out, "waveforms: 3 frames in 4 graphs\n") << waveforms.err;
  for (const char* name : {"Sine", "Square", "Sawtooth", "Histogram"}) {
    EXPECT_EQ(Csv(name).size(), 512u) << name;
    EXPECT_TRUE(IsPng(name)) << name;
  }
  EXPECT_EQ(Csv("Square")[0].second, 1.0);
}

}  // namespace
}  // namespace veltra::test
