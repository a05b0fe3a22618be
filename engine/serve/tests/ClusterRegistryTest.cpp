#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <thread>

#include "engine/serve/tests/ServeTestSupport.h"
#include "veltra/ServerError.h"

namespace veltra {
namespace {

using test::ClusterCalls;
using test::CountingClusterCalls;
using test::SampleCluster;

class ClusterRegistryTest : public test::ServeFixture, public ::testing::Test {};

TEST_F(ClusterRegistryTest, NumbersSharingABucketAreAllFound) {
  int deletions = 0;
  auto* sixteen = new SampleCluster(&deletions);
  auto* zero = new SampleCluster(&deletions);
  auto* far = new SampleCluster(&deletions);
  {
    ClusterRegistry registry(&channel, &context, &options);
    registry.Add(16, sixteen);
    registry.Add(0, zero);
    registry.Add(0x10000, far);
    EXPECT_EQ(registry.Find(16), sixteen);
    EXPECT_EQ(registry.Find(0), zero);
    EXPECT_EQ(registry.Find(0x10000), far);
    EXPECT_EQ(registry.Find(32), nullptr);
    EXPECT_EQ(zero->channel, &channel);
    EXPECT_EQ(zero->context, &context);

    auto* again = new SampleCluster(&deletions);
    try {
      registry.Add(16, again);
      FAIL() << "duplicate accepted";
    } catch (const duplicate_cluster& error) {
      EXPECT_STREQ(error.what(), "duplicate cluster number 16");
    }
    EXPECT_EQ(deletions, 1);  // the refused cluster is not leaked
    EXPECT_EQ(registry.Find(16), sixteen);
  }
  EXPECT_EQ(deletions, 4);  // host-supplied clusters are deleted with the registry
}

TEST_F(ClusterRegistryTest, HostMayAddWhileTheServerLooksUp) {
  ClusterRegistry registry(&channel, &context, &options);
  auto* zero = new SampleCluster;
  registry.Add(0, zero);
  std::thread adder([&] {
    for (int i = 1; i <= 500; ++i) registry.Add(i * 16, new SampleCluster);
  });
  // Looking up an absent number walks the whole bucket while it grows.
  for (int i = 0; i < 20000; ++i) ASSERT_EQ(registry.Find(1000 * 16), nullptr);
  EXPECT_EQ(registry.Find(0), zero);
  adder.join();
  EXPECT_NE(registry.Find(500 * 16), nullptr);
}

TEST_F(ClusterRegistryTest, LibraryClusterIsInitialisedAndClosedOncePerRun) {
  options.MonGeneral = 1;
  ClusterCalls before = CountingClusterCalls();
  for (int run = 1; run <= 2; ++run) {
    ClusterRegistry registry(&channel, &context, &options);
    Cluster* cluster = registry.LoadLibrary(0x7a1);
    ASSERT_NE(cluster, nullptr);
    EXPECT_STREQ(cluster->Name(), "Counting Cluster");
    EXPECT_EQ(registry.Find(0x7a1), cluster);
    EXPECT_EQ(cluster->channel, &channel);
    EXPECT_EQ(cluster->context, &context);
    EXPECT_EQ(CountingClusterCalls().inits, before.inits + run);
    EXPECT_EQ(CountingClusterCalls().closes, before.closes + run - 1);
  }
  ClusterCalls after = CountingClusterCalls();
  EXPECT_EQ(after.closes, before.closes + 2);
  EXPECT_EQ(after.strays, 0);
  EXPECT_EQ(host.Err(), "MON: loaded Plexa_7a1.so\nMON: loaded Plexa_7a1.so\n");
}

TEST_F(ClusterRegistryTest, UnloadableLibrariesYieldNoCluster) {
  ClusterRegistry registry(&channel, &context, &options);
  EXPECT_EQ(registry.LoadLibrary(0x7f0), nullptr);
  EXPECT_EQ(host.Err(), "");  // reasons only with MonGeneral

  options.MonGeneral = 1;
  EXPECT_EQ(registry.LoadLibrary(0x7f0), nullptr);
  EXPECT_EQ(host.Err().rfind("MON: Cannot load library Plexa_7f0.so: ", 0), 0u) << host.Err();
  EXPECT_NE(host.Err().find("cannot open shared object"), std::string::npos) << host.Err();

  host.Clear();
  EXPECT_EQ(registry.LoadLibrary(0x7a3), nullptr);  // no ClusterInit
  EXPECT_EQ(registry.LoadLibrary(0x7a4), nullptr);  // ClusterInit fails
  EXPECT_EQ(registry.Find(0x7a3), nullptr);
  EXPECT_EQ(registry.Find(0x7a4), nullptr);
  EXPECT_EQ(host.Err(), "MON: loaded Plexa_7a4.so\n");
}

// An application confined to a file root may write into the current
// directory (its own); a library it left there must not be run. (A copy
// under a number of its own: a library already in the process is found by
// its name wherever it came from.)
TEST_F(ClusterRegistryTest, UnderAFileRootNoLibraryIsTakenFromTheCurrentDirectory) {
  unsetenv("VELTRA_PLUGIN_PATH");
  std::filesystem::copy_file(test::TestClusterDirectory() + "/Plexa_7a1.so", dir.File("Plexa_7e0.so"));
  auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.Path());
  Cluster* confined = nullptr;
  Cluster* free = nullptr;
  {
    ClusterRegistry registry(&channel, &context, &options);
    std::snprintf(options.FileRoot, sizeof options.FileRoot, "%s", dir.Path().c_str());
    confined = registry.LoadLibrary(0x7e0);
    options.FileRoot[0] = '\0';
    free = registry.LoadLibrary(0x7e0);
    if (free) {
      EXPECT_STREQ(free->Name(), "Counting Cluster");
    }
  }
  std::filesystem::current_path(previous);
  EXPECT_EQ(confined, nullptr);
  EXPECT_NE(free, nullptr) << "without a root the current directory is searched last";
}

}  // namespace
}  // namespace veltra
