// The boxes of a server whose manager libraries are missing or broken. The
// libraries are found beside the program first, so each case runs a copy of
// this test program from a directory holding only the libraries it needs.
#include <cstdlib>
#include <filesystem>

#include "engine/server/tests/ServerTestSupport.h"
#include "platform/Ui.h"
#include "tests/support/ChildProcess.h"

namespace veltra::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kScenarioVariable = "VELTRA_SERVER_TEST_SCENARIO";

struct Scenario {
  const char* name;
  const char* options;  // what becomes Prefbook.so: "real", "empty" or null
  const char* link;     // what becomes Wirehub.so
  const char* text;
  const char* caption;
};

const Scenario kScenarios[] = {
    {"missing-options", nullptr, "real", "Cannot find Orv Options Manager library", "Missing DLL"},
    {"corrupt-options", "empty", "real", "No entry point GetOptionsManager in Options Manager library",
     "Corrupt DLL"},
    {"missing-link", "real", nullptr, "Cannot find Orv Link Manager library", "Missing DLL"},
    {"corrupt-link", "real", "empty", "No entry point GetLinkManager in Options Manager library",
     "Corrupt DLL"},
};

const Scenario* FindScenario(const std::string& name) {
  for (const Scenario& scenario : kScenarios)
    if (name == scenario.name) return &scenario;
  return nullptr;
}

// Runs only in the copied program, which asks for disabled tests by name:
// makes a server and checks what it reported.
TEST(ServerConstructionChild, DISABLED_ReportsItsScenario) {
  const char* name = std::getenv(kScenarioVariable);
  ASSERT_NE(name, nullptr) << "runs only as a child of ServerConstruction";
  const Scenario* scenario = FindScenario(name);
  ASSERT_NE(scenario, nullptr) << name;

  RecordingUi ui;
  Ui::Install(&ui);
  const Engine& engine = BoundEngine();
  ASSERT_TRUE(engine.getServer) << engine.error;
  auto owner = reinterpret_cast<WindowHandle>(0x0BEE);
  OrvServer* server = engine.getServer(owner);
  ASSERT_NE(server, nullptr) << "the object is returned in every case";

  auto boxes = ui.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, scenario->text);
  EXPECT_EQ(boxes[0].caption, scenario->caption);
  EXPECT_EQ(boxes[0].icon, MessageIcon::Error);
  EXPECT_EQ(boxes[0].owner, owner);
  bool optionsBound = std::string(scenario->options ? scenario->options : "") == "real";
  EXPECT_EQ(server->optionsManager != nullptr, optionsBound);
  EXPECT_EQ(server->options != nullptr, optionsBound);
  EXPECT_EQ(server->linkManager, nullptr);

  // Such a server still starts, runs and shuts down.
  RecordingHost host;
  ui.Clear();
  EXPECT_NE(server->Start(&host), nullptr);
  server->Run();
  ASSERT_TRUE(host.WaitForRuns(1));
  ASSERT_EQ(ui.Boxes().size(), 1u);
  EXPECT_EQ(ui.Boxes()[0].text, "No Veltra application has been selected");
  server->Shutdown();
  EXPECT_EQ(host.ThreadsEnded(), 1);
  delete server;
  Ui::Install(nullptr);
}

void Copy(const fs::path& from, const fs::path& to) {
  fs::copy_file(from, to, fs::copy_options::overwrite_existing);
}

TEST(ServerConstruction, MissingAndCorruptManagerLibrariesAreReported) {
  fs::path bin = TestBinDirectory();
  fs::path program = fs::read_symlink("/proc/self/exe");
  fs::path empty = bin / "servertest" / "OrvcoreTestEmpty.so";
  ASSERT_TRUE(fs::exists(empty)) << empty;

  for (const Scenario& scenario : kScenarios) {
    SCOPED_TRACE(scenario.name);
    TempDir directory;
    TempDir settings;
    fs::path copy = directory.Path() / program.filename();
    Copy(program, copy);
    Copy(bin / "Orvcore.so", directory.Path() / "Orvcore.so");
    // The shared libraries of the build that the engine and the managers use.
    for (const auto& entry : fs::directory_iterator(bin)) {
      std::string file = entry.path().filename().string();
      if (entry.is_regular_file() && file.rfind("lib", 0) == 0 && file.find(".so") != std::string::npos)
        Copy(entry.path(), directory.Path() / file);
    }
    auto place = [&](const char* what, const char* name) {
      if (!what) return;
      fs::path source = std::string(what) == "real" ? bin / name : empty;
      Copy(source, directory.Path() / name);
    };
    place(scenario.options, "Prefbook.so");
    place(scenario.link, "Wirehub.so");

    ProcessOptions options;
    options.workingDirectory = directory.Path().string();
    options.environment[kScenarioVariable] = scenario.name;
    options.environment["VELTRA_CONFIG_DIR"] = settings.Path().string();
    options.environment["VELTRA_PLUGIN_PATH"] = std::nullopt;
    options.environment["LD_LIBRARY_PATH"] = std::nullopt;
    options.environment["VELTRA_TEST_BIN"] = std::nullopt;
    ProcessResult result =
        RunProcess(copy.string(),
                   {"--gtest_filter=ServerConstructionChild.*", "--gtest_also_run_disabled_tests"}, options);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitStatus, 0) << result.out << result.err;
    EXPECT_NE(result.out.find("[  PASSED  ] 1 test"), std::string::npos) << result.out;
  }
}

}  // namespace
}  // namespace veltra::test
