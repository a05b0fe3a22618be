#include "host/SharedInstanceBlock.h"

#include "platform/settings/Registry.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>

namespace veltra {

namespace {

std::string ConfigDirectory() {
  return Registry::ConfigDirectory();
}

void CopyField(char* field, const std::string& text) {
  std::snprintf(field, kPathSize, "%s", text.c_str());
}

std::string ReadField(const char* field) {
  return std::string(field, strnlen(field, kPathSize));
}

}  // namespace

std::string SharedInstanceBlock::BaseName() {
  std::error_code ec;
  std::string dir = std::filesystem::weakly_canonical(ConfigDirectory(), ec).string();
  if (ec) dir = ConfigDirectory();
  char name[96];
  std::snprintf(name, sizeof name, "veltra-hostrix-%u-%zx", static_cast<unsigned>(getuid()),
                std::hash<std::string>{}(dir));
  return name;
}

std::string SharedInstanceBlock::SocketName(int32_t pid) {
  return BaseName() + "-" + std::to_string(pid);
}

bool SharedInstanceBlock::Attach() {
  std::string dir = ConfigDirectory();
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  std::string lockPath = dir + "/hostrix-instances.lock";
  if (ec || access(dir.c_str(), W_OK) != 0) lockPath = "/tmp/" + BaseName() + ".lock";
  if (!block_.Open("/" + BaseName(), sizeof(SharedInstanceData), lockPath)) return false;
  data_ = static_cast<SharedInstanceData*>(block_.Data());
  return true;
}

int32_t SharedInstanceBlock::CountInstance() {
  return __atomic_add_fetch(&data_->instanceCounter, 1, __ATOMIC_SEQ_CST);
}

int32_t SharedInstanceBlock::InstanceCounter() const {
  return __atomic_load_n(&data_->instanceCounter, __ATOMIC_SEQ_CST);
}

void SharedInstanceBlock::SetApplicationPath(const std::string& path) {
  CopyField(data_->applicationPath, path);
}

std::string SharedInstanceBlock::ApplicationPath() const {
  return ReadField(data_->applicationPath);
}

void SharedInstanceBlock::SetWorkingDirectory(const std::string& path) {
  CopyField(data_->workingDirectory, path);
}

std::string SharedInstanceBlock::WorkingDirectory() const {
  return ReadField(data_->workingDirectory);
}

}  // namespace veltra
