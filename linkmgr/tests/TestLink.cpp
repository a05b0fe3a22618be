// A link interface library for the link manager's tests, built under several
// names. What it reports is read from the environment when GetInfo is called:
//   VELTRA_TESTLINK_<NAME>_BOARDS   number of boards (default 0)
//   VELTRA_TESTLINK_<NAME>_HIDEID   set: HideBoardId answers 1
//   VELTRA_TESTLINK_<NAME>_LONGNAME set: board names fill all 31 characters
//   VELTRA_TESTLINK_<NAME>_OPEN     "fail": OpenLink answers none; "throw": it throws QMXExc
//   VELTRA_TESTLINK_LOG             file that each call is appended to, one line each
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "veltra/Export.h"
#include "veltra/Link.h"

namespace {

std::string Setting(const char* what) {
  const char* value = std::getenv((std::string("VELTRA_TESTLINK_") + TEST_LINK_NAME + "_" + what).c_str());
  return value ? value : "";
}

void Log(const std::string& line) {
  const char* path = std::getenv("VELTRA_TESTLINK_LOG");
  if (!path) return;
  if (std::FILE* file = std::fopen(path, "a")) {
    std::fprintf(file, "%s %s\n", TEST_LINK_NAME, line.c_str());
    std::fclose(file);
  }
}

class TestLink final : public veltra::Link {
 public:
  explicit TestLink(int index) : index_(index) {}
  void Read(void*, int) override {}
  void Write(const void*, int) override {}
  void Reset() override {}
  void RunEnded() override {}
  bool LoadFile(const char*) override { return false; }
  void Cancel() override {}
  int DriverVersion(char* name, int* major, int* minor) override {
    std::snprintf(name, 128, "%s board %d", TEST_LINK_NAME, index_);
    *major = 1;
    *minor = index_;
    return 0;
  }
  void ShowProperties() override {}
  int Control(int, int) override { return 0; }
  const char* LoadError() override { return "nothing loads here"; }

 private:
  int index_;
};

class TestInterface final : public veltra::InterfaceInfo {
 public:
  int BoardCount() override { return std::atoi(Setting("BOARDS").c_str()); }
  void BoardInfo(int index, char* name, int* id) override {
    std::string text = std::string(TEST_LINK_NAME) + " board " + std::to_string(index);
    if (!Setting("LONGNAME").empty()) text = std::string(TEST_LINK_NAME) + "-" + std::string(40, '0');
    text.resize(std::min(text.size(), size_t(veltra::kBoardNameSize - 1)));
    std::memcpy(name, text.c_str(), text.size() + 1);
    *id = 100 + index;
  }
  void Description(char* text) override { std::snprintf(text, 32, "%s interface", TEST_LINK_NAME); }
  veltra::Link* OpenLink(int index) override {
    std::string mode = Setting("OPEN");
    Log("OpenLink " + std::to_string(index) + (mode.empty() ? "" : " " + mode));
    if (mode == "fail") return nullptr;
    if (mode == "throw") {
      veltra::QMXExc error{};
      error.error = 7;
      error.line = 42;
      std::strcpy(error.file, "testlink.cpp");
      std::strcpy(error.message, "Board does not answer");
      throw error;
    }
    links_[index % 8] = TestLink(index);
    return &links_[index % 8];
  }
  int HideBoardId() override { return Setting("HIDEID").empty() ? 0 : 1; }

 private:
  TestLink links_[8] = {TestLink(0), TestLink(1), TestLink(2), TestLink(3),
                        TestLink(4), TestLink(5), TestLink(6), TestLink(7)};
};

[[maybe_unused]] TestInterface interface;

}  // namespace

#ifndef TEST_LINK_WITHOUT_GETINFO
VELTRA_C_EXPORT veltra::InterfaceInfo* GetInfo(veltra::WindowHandle) {
  Log("GetInfo");
#ifdef TEST_LINK_WITHOUT_INTERFACE
  return nullptr;
#else
  return &interface;
#endif
}
#endif

VELTRA_C_EXPORT void CloseInfo() {
  Log("CloseInfo");
}
