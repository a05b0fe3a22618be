// The headless runner loads the options manager, the link manager and the
// simulator, and with them no Qt: their windows live in modules of their own.
#include <gtest/gtest.h>

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace veltra {
namespace {

TEST(HeadlessTest, VeltraRunLoadsNoQtLibrary) {
  test::TempDir settings;
  const std::string bin = test::TestBinDirectory();
  test::ProcessOptions options;
  options.environment["VELTRA_CONFIG_DIR"] = settings.Path().string();
  options.environment["VELTRA_PLUGIN_PATH"] = std::nullopt;
  options.environment["BIN"] = bin;

  // Everything a whole run of hello loads, as the dynamic loader reports it.
  options.environment["LD_DEBUG"] = "files";
  auto hello = test::RunProcess(bin + "/veltra-run", {bin + "/examples/hello.app"}, options);
  options.environment["LD_DEBUG"] = std::nullopt;
  EXPECT_EQ(hello.exitStatus, 0) << hello.err;
  EXPECT_NE(hello.err.find("Prefbook.so"), std::string::npos) << "the loader's report is missing";
  EXPECT_NE(hello.err.find("Simulator_Orv.so"), std::string::npos);
  EXPECT_EQ(hello.err.find("libQt"), std::string::npos) << hello.err;

  // The runner's own memory map while a run waits for its input.
  auto maps = test::RunProcess("/bin/bash",
                               {"-c",
                                "sleep 3 | \"$BIN/veltra-run\" \"$BIN/examples/echo.app\" & pid=$!\n"
                                "for i in $(seq 100); do\n"
                                "  grep -q Simulator_Orv /proc/$pid/maps && break; sleep 0.05\n"
                                "done\n"
                                "sleep 0.3; cat /proc/$pid/maps; wait $pid"},
                               options);
  EXPECT_EQ(maps.exitStatus, 0) << maps.err;
  for (const char* library : {"Orvcore.so", "Prefbook.so", "Wirehub.so", "Simulator_Orv.so"})
    EXPECT_NE(maps.out.find(library), std::string::npos) << library << " not loaded:\n" << maps.out;
  EXPECT_EQ(maps.out.find("libQt"), std::string::npos) << maps.out;
}

}  // namespace
}  // namespace veltra
