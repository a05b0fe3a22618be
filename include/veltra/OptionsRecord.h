// The one options record of a server process: owned by the options manager,
// read in place by the engine and the host. Its layout is shared by every
// library, so fields are only ever appended.
#pragma once

#include <cstdint>
#include <cstdio>

namespace veltra {

class RequestChannel;

constexpr int kPathSize = 260;
constexpr int kCommandLineSize = 256;
constexpr int kCommandLineLimit = 254;

struct StreamOptions {
  int32_t IsInput;    // 1 for standard input only
  const char* Name;   // "stdin", "stdout", "stderr"
  int32_t Log;        // input: from the terminal; output: show on the terminal
  int32_t Append;     // output: append to the file
  int32_t Merge;      // stderr only: follow the standard-output route
  std::FILE* Handle;  // open during a run, owned by the engine; never persisted
  int32_t File;       // output: also write to Filename
  char Filename[kPathSize];
};

struct OptionsRecord {
  int32_t MonGeneral;
  int32_t MonLink;
  int32_t MonProt;
  int32_t MonUser;
  int32_t Debug;
  int32_t Alone;
  int32_t AutoRun;
  int32_t RunOnSelect;
  int32_t SayStop;
  int32_t C4x;
  int32_t InhibitReset;
  int32_t SemaphoreNumber;  // 0..9, not persisted
  int32_t MultipleInst;
  unsigned char ExitOnStop;  // set by the host before a run, not persisted
  int32_t ClearOnStart;
  int32_t ResetDelay;  // milliseconds
  StreamOptions StdIn;
  StreamOptions StdOut;
  StreamOptions StdErr;
  char RootKernel[kPathSize];
  char CommandLine[kCommandLineSize];
  RequestChannel* SemaphoreTarget;  // the engine's LinkChannel, for the semaphore buttons
  // The directory that confines every file name the application sends; empty
  // leaves names as they are (relative to the application's directory).
  char FileRoot[kPathSize];
  int32_t AllowHostCommands;  // 0: the command service refuses without running anything
};

// The defaults record: the source of every default value.
inline constexpr OptionsRecord kDefaultOptions = {
    .MonGeneral = 0,
    .MonLink = 0,
    .MonProt = 0,
    .MonUser = 0,
    .Debug = 0,
    .Alone = 0,
    .AutoRun = 1,
    .RunOnSelect = 1,
    .SayStop = 1,
    .C4x = 0,
    .InhibitReset = 0,
    .SemaphoreNumber = 0,
    .MultipleInst = 0,
    .ExitOnStop = 0,
    .ClearOnStart = 1,
    .ResetDelay = 0,
    .StdIn = {.IsInput = 1,
              .Name = "stdin",
              .Log = 1,
              .Append = 0,
              .Merge = 0,
              .Handle = nullptr,
              .File = 0,
              .Filename = ""},
    .StdOut = {.IsInput = 0,
               .Name = "stdout",
               .Log = 1,
               .Append = 0,
               .Merge = 0,
               .Handle = nullptr,
               .File = 0,
               .Filename = ""},
    .StdErr = {.IsInput = 0,
               .Name = "stderr",
               .Log = 1,
               .Append = 0,
               .Merge = 0,
               .Handle = nullptr,
               .File = 0,
               .Filename = ""},
    .RootKernel = "TIM40.KRN",
    .CommandLine = "",
    .SemaphoreTarget = nullptr,
    .FileRoot = "",
    .AllowHostCommands = 1,
};

}  // namespace veltra
