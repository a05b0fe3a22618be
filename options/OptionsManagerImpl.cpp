#include "options/OptionsManagerImpl.h"

#include <cstring>
#include <string>

#include "options/OptionsInstance.h"
#include "platform/Ui.h"
#include "platform/settings/Profile.h"
#include "platform/settings/RegistryTransaction.h"

namespace veltra {

namespace {

int ReadInt(const char* name, int32_t fallback) {
  return GetProfileInt(kSettingsSection, name, fallback);
}

// Copies a stored text into a fixed field, cut to at most limit characters so
// that a long value never runs past the field. A cut never splits a UTF-8
// character.
void ReadText(const char* name, char* field, size_t limit) {
  std::string text = GetProfileString(kSettingsSection, name, field);
  size_t length = text.size();
  if (length > limit) {
    length = limit;
    while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
  }
  std::memcpy(field, text.data(), length);
  field[length] = '\0';
}

void WriteInt(const char* name, int32_t value) {
  WriteProfileInt(kSettingsSection, name, value);  // failures are ignored: the record stays as it is
}

void WriteText(const char* name, const char* field, size_t size) {
  WriteProfileString(kSettingsSection, name, std::string(field, strnlen(field, size)));
}

constexpr size_t kPathLimit = kPathSize - 1;

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
  // The order of reading follows the order the values were laid down in.
  r.MonGeneral = ReadInt("MonGeneral", r.MonGeneral);
  r.MonLink = ReadInt("MonLink", r.MonLink);
  r.MonProt = ReadInt("MonProt", r.MonProt);
  r.MonUser = ReadInt("MonUser", r.MonUser);
  r.Debug = ReadInt("Debug", r.Debug);
  r.Alone = ReadInt("Alone", r.Alone);
  r.AutoRun = ReadInt("AutoRun", r.AutoRun);
  r.RunOnSelect = ReadInt("RunOnSelect", r.RunOnSelect);
  r.ClearOnStart = ReadInt("ClearOnStart", r.ClearOnStart);
  r.SayStop = ReadInt("SayStop", r.SayStop);
  r.C4x = ReadInt("C4x", r.C4x);
  r.InhibitReset = ReadInt("InhibitReset", r.InhibitReset);
  r.MultipleInst = ReadInt("MultipleInst", r.MultipleInst);
  r.ResetDelay = ReadInt("ResetDelay", r.ResetDelay);
  r.StdIn.Log = ReadInt("StdIn_Log", r.StdIn.Log);
  r.StdIn.File = ReadInt("StdIn_File", r.StdIn.File);
  r.StdOut.Log = ReadInt("StdOut_Log", r.StdOut.Log);
  r.StdOut.File = ReadInt("StdOut_File", r.StdOut.File);
  r.StdOut.Append = ReadInt("StdOut_Append", r.StdOut.Append);
  r.StdErr.Log = ReadInt("StdErr_Log", r.StdErr.Log);
  r.StdErr.File = ReadInt("StdErr_File", r.StdErr.File);
  r.StdErr.Append = ReadInt("StdErr_Append", r.StdErr.Append);
  r.StdErr.Merge = ReadInt("StdErr_Merge", r.StdErr.Merge);  // saved as "Stderr_Merge": the same value
  ReadText("StdOut_Filename", r.StdOut.Filename, kPathLimit);
  ReadText("StdIn_Filename", r.StdIn.Filename, kPathLimit);
  ReadText("StdErr_Filename", r.StdErr.Filename, kPathLimit);
  ReadText("RootKernel", r.RootKernel, kPathLimit);
  ReadText("CommandLine", r.CommandLine, kCommandLineLimit);
  ReadText("FileRoot", r.FileRoot, kPathLimit);
  r.AllowHostCommands = ReadInt("AllowHostCommands", r.AllowHostCommands);
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
  Ui::MessageBox(nullptr, "The options sheet is not in this build.", "Options", MessageIcon::Information);
}

void OptionsManagerImpl::Destroy() {
  ForgetOptionsManager(this);
  delete this;
}

void OptionsManagerImpl::SetSemaphoreTarget(RequestChannel* linkChannel) {
  record_.SemaphoreTarget = linkChannel;
}

}  // namespace veltra
