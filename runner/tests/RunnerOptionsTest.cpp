#include "runner/RunnerOptions.h"

#include <gtest/gtest.h>

namespace veltra {
namespace {

RunnerOptions Parse(std::vector<std::string> args) {
  auto result = ParseRunnerOptions(args);
  EXPECT_TRUE(result.options.has_value()) << result.error;
  return result.options.value_or(RunnerOptions{});
}

std::string ErrorOf(std::vector<std::string> args) {
  auto result = ParseRunnerOptions(args);
  EXPECT_FALSE(result.options.has_value());
  return result.error;
}

TEST(RunnerOptionsTest, ApplicationGetsAppExtensionOnlyWithoutOne) {
  EXPECT_EQ(WithApplicationExtension("demo"), "demo.app");
  EXPECT_EQ(WithApplicationExtension("demo.out"), "demo.out");
  EXPECT_EQ(WithApplicationExtension("old.files/demo"), "old.files/demo.app");
  EXPECT_EQ(WithApplicationExtension("old.files\\demo"), "old.files\\demo.app");
  EXPECT_EQ(WithApplicationExtension("c:demo"), "c:demo.app");
  EXPECT_EQ(WithApplicationExtension("./x/hello"), "./x/hello.app");
  EXPECT_EQ(Parse({"examples/hello"}).application, "examples/hello.app");
}

TEST(RunnerOptionsTest, EveryOptionLandsInItsField) {
  auto o = Parse({"-a",
                  "one \"two three\"",
                  "-m",
                  "general,prot",
                  "--stdin",
                  "in.txt",
                  "--stdout=out.txt",
                  "--stderr",
                  "err.txt",
                  "--append",
                  "--board",
                  "Simulated DSP:2",
                  "--reset-delay",
                  "500",
                  "--no-reset",
                  "--signal",
                  "3@200",
                  "--signal=0@0",
                  "--timeout",
                  "1.5",
                  "app.app"});
  EXPECT_EQ(o.application, "app.app");
  EXPECT_EQ(o.arguments, "one \"two three\"");
  EXPECT_TRUE(o.monGeneral && o.monProt);
  EXPECT_FALSE(o.monLink || o.monUser);
  EXPECT_EQ(o.stdinFile, "in.txt");
  EXPECT_EQ(o.stdoutFile, "out.txt");
  EXPECT_EQ(o.stderrFile, "err.txt");
  EXPECT_TRUE(o.append && o.noReset);
  EXPECT_FALSE(o.mergeStderr);
  EXPECT_EQ(o.boardName, "Simulated DSP");
  EXPECT_EQ(o.boardIndex, 1) << "boards count from 1 for the user";
  EXPECT_EQ(o.resetDelay, 500);
  ASSERT_EQ(o.signals.size(), 2u);
  EXPECT_EQ(o.signals[0].semaphore, 3);
  EXPECT_EQ(o.signals[0].milliseconds, 200);
  EXPECT_EQ(o.signals[1].semaphore, 0);
  EXPECT_DOUBLE_EQ(*o.timeoutSeconds, 1.5);
}

// Merged standard error has no file of its own: the engine would empty one
// and write nothing to it.
TEST(RunnerOptionsTest, MergeStderrGoesWithStdoutButNotWithStderr) {
  EXPECT_TRUE(Parse({"--merge-stderr", "--stdout", "out.txt", "a"}).mergeStderr);
  auto error = ErrorOf({"--merge-stderr", "--stderr", "err.txt", "a"});
  EXPECT_NE(error.find("--merge-stderr"), std::string::npos) << error;
  EXPECT_NE(error.find("--stderr"), std::string::npos) << error;
  EXPECT_FALSE(ErrorOf({"--stderr=err.txt", "--merge-stderr", "a"}).empty());
}

TEST(RunnerOptionsTest, ReconnectNeedsNoApplicationButNotifyNeedsReconnect) {
  auto o = Parse({"--reconnect", "--notify"});
  EXPECT_TRUE(o.reconnect && o.notify);
  EXPECT_TRUE(o.application.empty());
  EXPECT_NE(ErrorOf({"--notify", "a.app"}).find("--reconnect"), std::string::npos);
}

TEST(RunnerOptionsTest, BadInputIsAUsageErrorWithAClearText) {
  EXPECT_NE(ErrorOf({}).find("no application"), std::string::npos);
  EXPECT_NE(ErrorOf({"a", "b"}).find("only one application"), std::string::npos);
  EXPECT_NE(ErrorOf({"--frobnicate", "a"}).find("unknown option --frobnicate"), std::string::npos);
  EXPECT_NE(ErrorOf({"-m", "general,disk", "a"}).find("disk"), std::string::npos);
  EXPECT_NE(ErrorOf({"--signal", "10@5", "a"}).find("N@MS"), std::string::npos);
  EXPECT_NE(ErrorOf({"--signal", "3", "a"}).find("N@MS"), std::string::npos);
  EXPECT_NE(ErrorOf({"--timeout", "0", "a"}).find("--timeout"), std::string::npos);
  EXPECT_NE(ErrorOf({"--timeout", "soon", "a"}).find("--timeout"), std::string::npos);
  EXPECT_NE(ErrorOf({"--reset-delay", "-1", "a"}).find("--reset-delay"), std::string::npos);
  EXPECT_NE(ErrorOf({"--board", "X:y", "a"}).find("bad board number"), std::string::npos);
  EXPECT_NE(ErrorOf({"--board", "X:0", "a"}).find("boards count from 1"), std::string::npos);
  EXPECT_NE(ErrorOf({"--stdout"}).find("file name"), std::string::npos);
  EXPECT_NE(ErrorOf({"--append=1", "a"}).find("unknown option"), std::string::npos);
}

TEST(RunnerOptionsTest, FileRootAndHostCommandSwitch) {
  auto o = Parse({"--root", "files", "--no-host-commands", "a"});
  EXPECT_EQ(o.fileRoot, "files");
  EXPECT_TRUE(o.noHostCommands);
  EXPECT_EQ(Parse({"--root=/srv/dsp", "a"}).fileRoot, "/srv/dsp");
  auto plain = Parse({"a"});
  EXPECT_FALSE(plain.fileRoot.has_value());
  EXPECT_FALSE(plain.noHostCommands);
  EXPECT_NE(ErrorOf({"--root", "", "a"}).find("--root needs a directory"), std::string::npos);
  EXPECT_NE(ErrorOf({"--root"}).find("--root needs a directory"), std::string::npos);
  EXPECT_NE(ErrorOf({"--no-host-commands=1", "a"}).find("unknown option"), std::string::npos);
  // --confine is both at once; --root alone leaves host commands allowed,
  // and the help says so.
  auto confined = Parse({"--confine", "jail", "a"});
  EXPECT_EQ(confined.fileRoot, "jail");
  EXPECT_TRUE(confined.noHostCommands);
  EXPECT_FALSE(Parse({"--root", "jail", "a"}).noHostCommands);
  EXPECT_NE(ErrorOf({"--confine", "", "a"}).find("--confine needs a directory"), std::string::npos);
  std::string usage = RunnerUsage();
  EXPECT_NE(usage.find("no confinement: its host commands still run"), std::string::npos);
  EXPECT_NE(usage.find("--confine DIR"), std::string::npos);
}

TEST(RunnerOptionsTest, GraphsDirectory) {
  EXPECT_EQ(Parse({"--graphs", "out", "a"}).graphsDirectory, "out");
  EXPECT_EQ(Parse({"--graphs=/tmp/g", "a"}).graphsDirectory, "/tmp/g");
  EXPECT_FALSE(Parse({"a"}).graphsDirectory.has_value());
  EXPECT_NE(ErrorOf({"--graphs", "", "a"}).find("--graphs needs a directory"), std::string::npos);
}

TEST(RunnerOptionsTest, HelpAndVersionNeedNoApplication) {
  EXPECT_TRUE(Parse({"--help"}).help);
  EXPECT_TRUE(Parse({"--version"}).version);
  EXPECT_EQ(Parse({"--", "-odd-name"}).application, "-odd-name.app");
}

TEST(RunnerOptionsTest, AnswerIsYesOrNoAndOtherwiseUnset) {
  EXPECT_FALSE(Parse({"a"}).answerYes.has_value());
  EXPECT_EQ(Parse({"--answer", "yes", "a"}).answerYes, true);
  EXPECT_EQ(Parse({"--answer=no", "a"}).answerYes, false);
  EXPECT_NE(ErrorOf({"--answer", "maybe", "a"}).find("--answer needs yes or no"), std::string::npos);
  EXPECT_NE(ErrorOf({"a", "--answer"}).find("--answer"), std::string::npos);
}

}  // namespace
}  // namespace veltra
