// The control-panel cluster served by veltra-run to an application on the
// simulated network, without a display: the windows exist off screen and
// every service answers from what they hold.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/settings/Registry.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace veltra::test {
namespace {

class PanelRunTest : public ::testing::Test {
 protected:
  ProcessResult Run(const std::vector<std::string>& args) {
    std::vector<std::string> all = {"--timeout", "50"};
    all.insert(all.end(), args.begin(), args.end());
    return RunHeadless(settings_.Path().string(), all);
  }
  std::string App() const { return TestBinDirectory() + "/testapps/panelcheck.app"; }

  TempDir settings_;
};

TEST_F(PanelRunTest, EveryServiceAnswersWithoutADisplay) {
  ProcessResult result = Run({"--args", "edges", App()});
  EXPECT_EQ(result.out,
            "early 1\n"
            "input closed 0 -1\n"
            "unopened 0: 30 30 1 50 100 [] 0\n"
            "open panel 0\n"
            "panel 0: 30 30 1 50 100 [] 0\n"
            "open status 0\n"
            "status 0\n"
            "open input 0\n"
            "input 100 100\n"
            "close input 0\n"
            "input closed 0 -1\n"
            "close panel 0\n"
            "ask 0\n");
  // The log shows the status text and the question; service 10 ends the run.
  EXPECT_NE(result.err.find("status: Running\n"), std::string::npos) << result.err;
  EXPECT_EQ(result.err.find("too early"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("Question: Go on?\n"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("Example Cluster has no service number 10"), std::string::npos) << result.err;
  EXPECT_EQ(result.exitStatus, 1);
}

TEST_F(PanelRunTest, AnswerDecidesTheQuestion) {
  ProcessResult yes = Run({"--answer", "yes", "--args", "ask", App()});
  EXPECT_EQ(yes.out, "answer 1\n");
  EXPECT_NE(yes.err.find("Panel check: Is it on?\n"), std::string::npos) << yes.err;
  EXPECT_EQ(yes.exitStatus, 0);
  EXPECT_EQ(Run({"--answer", "no", "--args", "ask", App()}).out, "answer 0\n");
  EXPECT_EQ(Run({"--args", "ask", App()}).out, "answer 0\n");
}

TEST_F(PanelRunTest, AnotherProcessReadsWhatTheLastOneSaved) {
  ProcessResult first = Run({"--args", "read", App()});
  EXPECT_EQ(first.out, "panel 0: 30 30 1 50 100 [] 0\ninput 100 100\n") << first.err;
  {
    // As a user would have left them in the windows of an earlier run.
    const std::string branch = "SOFTWARE\\Orv Limited\\Plexa_310\\";
    setenv("VELTRA_CONFIG_DIR", settings_.Path().c_str(), 1);
    Registry panel(RegistryRoot::LocalMachine, branch + "Ctrl5610");
    EXPECT_EQ(panel.WriteInt("AdcFreq", 105), RegistryStatus::Ok);
    panel.WriteInt("DacAsPattern", 0);
    panel.WriteInt("PatternFreq", 7);
    // A wrongly typed value keeps its default.
    panel.WriteString("PatternAmpl", "80");
    Registry input(RegistryRoot::LocalMachine, branch + "DlgInput");
    input.WriteInt("Amp", 33);
    input.WriteInt("Freq", 44);
  }
  ProcessResult second = Run({"--args", "read", App()});
  EXPECT_EQ(second.out, "panel 0: 105 30 0 7 100 [] 0\ninput 33 44\n") << second.err;
  // The run's own closing saved what it read and where the windows were.
  Registry input(RegistryRoot::LocalMachine, "SOFTWARE\\Orv Limited\\Plexa_310\\DlgInput");
  int32_t left = -1;
  EXPECT_EQ(input.ReadInt("input_left", left), RegistryStatus::Ok);
}

TEST_F(PanelRunTest, TheQuestionExampleTakesTheAnswerGiven) {
  const std::string app = TestBinDirectory() + "/examples/question.app";
  ProcessResult yes = Run({"--answer", "yes", app});
  EXPECT_EQ(yes.out, "Yes: going on.\n");
  EXPECT_NE(yes.err.find("Veltra demo: Shall the demonstration go on?\n"), std::string::npos) << yes.err;
  EXPECT_EQ(yes.exitStatus, 0);
  ProcessResult no = Run({app});
  EXPECT_EQ(no.out, "No: stopping here.\n");
  EXPECT_EQ(no.exitStatus, 3);
}

// The signal generator needs the combined plug-in for its graph.
TEST_F(PanelRunTest, TheSignalGeneratorRunsHeadlessThroughTheCombinedPlugin) {
  ProcessResult result = Run({"--args", "5", TestBinDirectory() + "/examples/panel.app"});
  EXPECT_EQ(result.out, "Signal generator ended after 5 spectra\n") << result.err;
  // The sliders' first-run places give 20100 Hz at full scale; one line per text.
  const std::string line = "status: 20100 Hz, 100 %\n";
  const std::size_t first = result.err.find(line);
  EXPECT_NE(first, std::string::npos) << result.err;
  EXPECT_EQ(result.err.find(line, first + 1), std::string::npos) << result.err;
  EXPECT_EQ(result.exitStatus, 0);
  // The windows' objects, made on the run's thread, are not torn down from
  // another one at exit.
  EXPECT_EQ(result.err.find("QObject"), std::string::npos) << result.err;
}

}  // namespace
}  // namespace veltra::test
