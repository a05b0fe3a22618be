#include <gtest/gtest.h>

#include <QMimeDatabase>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/TempDir.h"

namespace veltra {
namespace {

namespace fs = std::filesystem;
constexpr const char* kType = "application/x-veltra-application";
constexpr const char* kSystemTypes = "/usr/share/mime/packages/freedesktop.org.xml";

void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// A database of the system's own types and ours, compiled as the package's
// trigger compiles it, is the only one the reader sees: XDG_DATA_DIRS names
// it alone and the user's own directory is empty.
TEST(FileTypeTest, ApplicationFilesAreKnownByNameAndNoOtherProgramIsClaimed) {
  if (!fs::exists(kSystemTypes) || std::system("command -v update-mime-database >/dev/null") != 0)
    GTEST_SKIP() << "no shared MIME database on this machine";
  test::TempDir dir;
  const fs::path packages = dir.Path() / "share/mime/packages";
  fs::create_directories(packages);
  fs::create_directories(dir.Path() / "home");
  fs::copy_file(kSystemTypes, packages / "freedesktop.org.xml");
  fs::copy_file(VELTRA_FILE_TYPE_XML, packages / "veltra-application.xml");
  const std::string compile =
      "update-mime-database '" + (dir.Path() / "share/mime").string() + "' 2>/dev/null";
  ASSERT_EQ(std::system(compile.c_str()), 0);
  setenv("XDG_DATA_DIRS", (dir.Path() / "share").c_str(), 1);
  setenv("XDG_DATA_HOME", (dir.Path() / "home").c_str(), 1);

  // An ELF program (this test) and scripts, each under an application's name
  // and under a name of another kind.
  const fs::path self = fs::read_symlink("/proc/self/exe");
  fs::copy_file(self, dir.Path() / "program.app");
  fs::copy_file(self, dir.Path() / "program");
  WriteFile(dir.Path() / "script.app", "#!/bin/sh\necho hello\n");
  WriteFile(dir.Path() / "script", "#!/bin/sh\necho hello\n");
  WriteFile(dir.Path() / "tool", "#!/usr/bin/env some-interpreter\nrun\n");

  QMimeDatabase types;
  ASSERT_TRUE(types.mimeTypeForName(kType).isValid()) << "the file type was not loaded";
  EXPECT_EQ(types.mimeTypeForName(kType).comment().toStdString(), "Veltra application");
  const auto typeOf = [&](const fs::path& path) {
    return types.mimeTypeForFile(QString::fromStdString(path.string())).name().toStdString();
  };
  EXPECT_EQ(typeOf(dir.Path() / "program.app"), kType);
  EXPECT_EQ(typeOf(dir.Path() / "script.app"), kType);
  // Programs and scripts that are no application files keep their own types:
  // the package must not make a file manager open every program with Hostrix.
  EXPECT_NE(typeOf(dir.Path() / "program"), kType);
  EXPECT_NE(typeOf(dir.Path() / "script"), kType);
  EXPECT_NE(typeOf(dir.Path() / "tool"), kType);
  EXPECT_NE(typeOf("/bin/sh"), kType);
}

}  // namespace
}  // namespace veltra
