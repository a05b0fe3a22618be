#include "options/OptionsManagerImpl.h"

#include <cstring>
#include <string>
#include <vector>

#include "options/OptionsInstance.h"
#include "options/sheet/SheetEntry.h"
#include "platform/DynamicLibrary.h"
#include "platform/Ui.h"
#include "platform/settings/Profile.h"
#include "platform/settings/Registry.h"
#include "platform/settings/RegistryTransaction.h"

namespace veltra {

namespace {

bool SameName(const std::string& a, const char* b) {
  size_t length = std::strlen(b);
  if (a.size() != length) return false;
  for (size_t i = 0; i < length; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// The values of the settings section, read with one statement: one wait when
// another process holds the store, and one view of a record saved as a whole.
// A value that is missing or of another type leaves its field as it is.
class StoredValues {
 public:
  StoredValues() {
    // A missing key lists nothing, and a store that cannot be read lists nothing either.
    Registry::ReadValues(RegistryRoot::CurrentUser, std::string(kProfileKey) + "\\" + kSettingsSection,
                         values_);
  }

  void ReadInt(const char* name, int32_t& field) const {
    const RegistryValue* value = Find(name);
    if (value && value->type == RegistryType::Dword && value->data.size() == 4)
      field = static_cast<int32_t>(value->Dword());
  }

  // Copies a stored text into a fixed field, cut to at most limit characters
  // so that a long value never runs past the field. A cut never splits a
  // UTF-8 character.
  void ReadText(const char* name, char* field, size_t limit) const {
    const RegistryValue* value = Find(name);
    if (!value || value->type != RegistryType::String) return;
    const std::vector<unsigned char>& text = value->data;
    size_t length = text.size();
    if (length > limit) {
      length = limit;
      while (length > 0 && (text[length] & 0xC0) == 0x80) --length;
    }
    if (length > 0) std::memcpy(field, text.data(), length);
    field[length] = '\0';
  }

 private:
  // Names compare without regard to case: "StdErr_Merge" finds "Stderr_Merge".
  const RegistryValue* Find(const char* name) const {
    for (const RegistryValue& value : values_)
      if (SameName(value.name, name)) return &value;
    return nullptr;
  }

  std::vector<RegistryValue> values_;
};

void WriteInt(const char* name, int32_t value) {
  WriteProfileInt(kSettingsSection, name, value);  // failures are ignored: the record stays as it is
}

void WriteText(const char* name, const char* field, size_t size) {
  WriteProfileString(kSettingsSection, name, std::string(field, strnlen(field, size)));
}

constexpr size_t kPathLimit = kPathSize - 1;
constexpr const char* kSheetModule = "PrefbookSheet.so";

}  // namespace

OptionsManagerImpl::OptionsManagerImpl() {
  LoadOptions();
}

OptionsRecord* OptionsManagerImpl::GetOptions() {
  return &record_;
}

void OptionsManagerImpl::LoadOptions() {
  record_ = kDefaultOptions;
  OptionsRecord& r = record_;
  const StoredValues stored;
  stored.ReadInt("MonGeneral", r.MonGeneral);
  stored.ReadInt("MonLink", r.MonLink);
  stored.ReadInt("MonProt", r.MonProt);
  stored.ReadInt("MonUser", r.MonUser);
  stored.ReadInt("Debug", r.Debug);
  stored.ReadInt("Alone", r.Alone);
  stored.ReadInt("AutoRun", r.AutoRun);
  stored.ReadInt("RunOnSelect", r.RunOnSelect);
  stored.ReadInt("ClearOnStart", r.ClearOnStart);
  stored.ReadInt("SayStop", r.SayStop);
  stored.ReadInt("C4x", r.C4x);
  stored.ReadInt("InhibitReset", r.InhibitReset);
  stored.ReadInt("MultipleInst", r.MultipleInst);
  stored.ReadInt("ResetDelay", r.ResetDelay);
  stored.ReadInt("StdIn_Log", r.StdIn.Log);
  stored.ReadInt("StdIn_File", r.StdIn.File);
  stored.ReadInt("StdOut_Log", r.StdOut.Log);
  stored.ReadInt("StdOut_File", r.StdOut.File);
  stored.ReadInt("StdOut_Append", r.StdOut.Append);
  stored.ReadInt("StdErr_Log", r.StdErr.Log);
  stored.ReadInt("StdErr_File", r.StdErr.File);
  stored.ReadInt("StdErr_Append", r.StdErr.Append);
  stored.ReadInt("StdErr_Merge", r.StdErr.Merge);  // saved as "Stderr_Merge": the same value
  stored.ReadText("StdOut_Filename", r.StdOut.Filename, kPathLimit);
  stored.ReadText("StdIn_Filename", r.StdIn.Filename, kPathLimit);
  stored.ReadText("StdErr_Filename", r.StdErr.Filename, kPathLimit);
  stored.ReadText("RootKernel", r.RootKernel, kPathLimit);
  stored.ReadText("CommandLine", r.CommandLine, kCommandLineLimit);
  stored.ReadText("FileRoot", r.FileRoot, kPathLimit);
  stored.ReadInt("AllowHostCommands", r.AllowHostCommands);
}

void OptionsManagerImpl::SaveOptions() {
  // The record is stored as a whole: another process never reads half of it.
  RegistryTransaction transaction(RegistryRoot::CurrentUser);
  const OptionsRecord& r = record_;
  WriteInt("MonGeneral", r.MonGeneral);
  WriteInt("MonLink", r.MonLink);
  WriteInt("MonProt", r.MonProt);
  WriteInt("MonUser", r.MonUser);
  WriteInt("Debug", r.Debug);
  WriteInt("Alone", r.Alone);
  WriteInt("AutoRun", r.AutoRun);
  WriteInt("RunOnSelect", r.RunOnSelect);
  WriteInt("ClearOnStart", r.ClearOnStart);
  WriteInt("SayStop", r.SayStop);
  WriteInt("C4x", r.C4x);
  WriteInt("InhibitReset", r.InhibitReset);
  WriteInt("MultipleInst", r.MultipleInst);
  WriteInt("ResetDelay", r.ResetDelay);
  WriteInt("StdIn_Log", r.StdIn.Log);
  WriteInt("StdIn_File", r.StdIn.File);
  WriteText("StdIn_Filename", r.StdIn.Filename, sizeof r.StdIn.Filename);
  WriteInt("StdOut_Log", r.StdOut.Log);
  WriteInt("StdOut_File", r.StdOut.File);
  WriteText("StdOut_Filename", r.StdOut.Filename, sizeof r.StdOut.Filename);
  WriteInt("StdOut_Append", r.StdOut.Append);
  WriteInt("StdErr_Log", r.StdErr.Log);
  WriteInt("StdErr_File", r.StdErr.File);
  WriteText("StdErr_Filename", r.StdErr.Filename, sizeof r.StdErr.Filename);
  WriteInt("StdErr_Append", r.StdErr.Append);
  WriteInt("Stderr_Merge", r.StdErr.Merge);
  WriteText("RootKernel", r.RootKernel, sizeof r.RootKernel);
  WriteText("CommandLine", r.CommandLine, sizeof r.CommandLine);
  WriteText("FileRoot", r.FileRoot, sizeof r.FileRoot);
  WriteInt("AllowHostCommands", r.AllowHostCommands);
  transaction.Commit();
}

namespace {

// The persisted fields of one stream. IsInput and Name are fixed, and Handle
// belongs to the engine: none of them is written.
void ResetStream(StreamOptions& stream, const StreamOptions& defaults) {
  stream.Log = defaults.Log;
  stream.Append = defaults.Append;
  stream.Merge = defaults.Merge;
  stream.File = defaults.File;
  std::memcpy(stream.Filename, defaults.Filename, sizeof stream.Filename);
}

}  // namespace

void OptionsManagerImpl::ResetOptions() {
  // The engine may be running on its own thread and opening or closing its
  // files: the stream handles and the semaphore target are never written here,
  // not even with the value they had, so nothing the engine stores in the
  // meantime is undone. Every other field is assigned on its own.
  static_assert(sizeof(void*) != 8 || sizeof(OptionsRecord) == 1768,
                "a field added to the record must be reset here");
  const OptionsRecord& d = kDefaultOptions;
  OptionsRecord& r = record_;
  r.MonGeneral = d.MonGeneral;
  r.MonLink = d.MonLink;
  r.MonProt = d.MonProt;
  r.MonUser = d.MonUser;
  r.Debug = d.Debug;
  r.Alone = d.Alone;
  r.AutoRun = d.AutoRun;
  r.RunOnSelect = d.RunOnSelect;
  r.SayStop = d.SayStop;
  r.C4x = d.C4x;
  r.InhibitReset = d.InhibitReset;
  r.SemaphoreNumber = d.SemaphoreNumber;
  r.MultipleInst = d.MultipleInst;
  r.ExitOnStop = d.ExitOnStop;
  r.ClearOnStart = d.ClearOnStart;
  r.ResetDelay = d.ResetDelay;
  ResetStream(r.StdIn, d.StdIn);
  ResetStream(r.StdOut, d.StdOut);
  ResetStream(r.StdErr, d.StdErr);
  std::memcpy(r.RootKernel, d.RootKernel, sizeof r.RootKernel);
  std::memcpy(r.CommandLine, d.CommandLine, sizeof r.CommandLine);
  std::memcpy(r.FileRoot, d.FileRoot, sizeof r.FileRoot);
  r.AllowHostCommands = d.AllowHostCommands;
  SaveOptions();
}

void OptionsManagerImpl::ShowOptionsSheet() {
  // The sheet is built with Qt and lives in its own module, loaded the first
  // time it is shown and kept: a process that never shows it never loads Qt.
  static RunOptionsSheetFunction runSheet = nullptr;
  if (!runSheet) {
    DynamicLibrary module;
    if (!module.Load(kSheetModule, false)) {
      Ui::MessageBox(nullptr, "The options sheet cannot be shown: " + module.Error(), "Options",
                     MessageIcon::Error);
      return;
    }
    runSheet = module.Function<RunOptionsSheetFunction>("RunOptionsSheet");
    if (!runSheet) {
      Ui::MessageBox(nullptr,
                     std::string("The options sheet cannot be shown: ") + kSheetModule +
                         " has no entry point \"RunOptionsSheet\"",
                     "Options", MessageIcon::Error);
      return;
    }
    module.Detach();
  }
  char reason[256] = {};
  int result = runSheet(this, nullptr, reason, sizeof reason);
  if (result == kSheetAccepted)
    SaveOptions();
  else if (result == kSheetFailed)
    Ui::MessageBox(nullptr, std::string("The options sheet cannot be shown: ") + reason, "Options",
                   MessageIcon::Error);
}

void OptionsManagerImpl::Destroy() {
  ForgetOptionsManager(this);
  delete this;
}

void OptionsManagerImpl::SetSemaphoreTarget(RequestChannel* linkChannel) {
  record_.SemaphoreTarget = linkChannel;
}

}  // namespace veltra
