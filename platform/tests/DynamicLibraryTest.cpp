#include "platform/DynamicLibrary.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace veltra {
namespace {

std::string ProbeDir() {
  return DynamicLibrary::ProgramDirectory() + "probe";
}

TEST(DynamicLibraryTest, FileNameMapsDllToSo) {
  EXPECT_EQ(DynamicLibrary::FileName("Prefbook.dll"), "Prefbook.so");
  EXPECT_EQ(DynamicLibrary::FileName("Plexa_301.DLL"), "Plexa_301.so");
  EXPECT_EQ(DynamicLibrary::FileName("/opt/x/Cedar_Orv.dll"), "/opt/x/Cedar_Orv.so");
  EXPECT_EQ(DynamicLibrary::FileName("Simulator_Orv.so"), "Simulator_Orv.so");
  EXPECT_EQ(DynamicLibrary::FileName("plain"), "plain");
}

TEST(DynamicLibraryTest, MissingLibraryKeepsTheLoadersReason) {
  DynamicLibrary library;
  EXPECT_FALSE(library.Load("NoSuchLibrary_Orv.dll"));
  EXPECT_FALSE(library.IsLoaded());
  EXPECT_NE(library.Error().find("NoSuchLibrary_Orv.so"), std::string::npos) << library.Error();
  EXPECT_EQ(library.Symbol("anything"), nullptr);
}

TEST(DynamicLibraryTest, FindsByNameThroughPluginPathAndByFullPath) {
  ::unsetenv("VELTRA_PLUGIN_PATH");
  DynamicLibrary library;
  ASSERT_FALSE(library.Load("PlatformProbe.dll"));

  ::setenv("VELTRA_PLUGIN_PATH", ("/nonexistent:" + ProbeDir()).c_str(), 1);
  ASSERT_TRUE(library.Load("PlatformProbe.dll")) << library.Error();
  auto answer = library.Function<int (*)()>("PlatformProbeAnswer");
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  EXPECT_EQ(library.Symbol("NoSuchSymbol"), nullptr);
  ::unsetenv("VELTRA_PLUGIN_PATH");

  DynamicLibrary byPath;
  ASSERT_TRUE(byPath.Load(ProbeDir() + "/PlatformProbe.so")) << byPath.Error();
  DynamicLibrary moved(std::move(byPath));
  EXPECT_TRUE(moved.IsLoaded());
  EXPECT_FALSE(byPath.IsLoaded());
}

TEST(DynamicLibraryTest, FindsInTheCurrentDirectoryLast) {
  auto previous = std::filesystem::current_path();
  std::filesystem::current_path(ProbeDir());
  DynamicLibrary library;
  // First, while it is not in the process (where its name alone finds it).
  DynamicLibrary elsewhere;
  bool loadedElsewhere = elsewhere.Load("PlatformProbe.dll", false);
  bool loaded = library.Load("PlatformProbe.dll");
  std::filesystem::current_path(previous);
  EXPECT_TRUE(loaded) << library.Error();
  EXPECT_FALSE(loadedElsewhere) << "the current directory was searched when it must not be";
}

}  // namespace
}  // namespace veltra
