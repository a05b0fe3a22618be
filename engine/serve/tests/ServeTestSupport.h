// Shared set-up of the registry and serve-loop tests: a scripted link, a
// recording host and UI, the test cluster libraries on the plug-in path.
#pragma once

#include <cstdlib>
#include <string>

#include "TableCluster.h"
#include "engine/serve/ClusterRegistry.h"
#include "engine/serve/LinkChannel.h"
#include "engine/serve/ServerContextImpl.h"
#include "platform/DynamicLibrary.h"
#include "platform/RecordingUi.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/ScriptedLink.h"
#include "tests/support/TempDir.h"

namespace veltra::test {

inline std::string TestClusterDirectory() {
  return DynamicLibrary::ProgramDirectory() + "testclusters";
}

struct ClusterCalls {
  int inits = 0;
  int closes = 0;
  int strays = 0;
};

// Reads the counters of Plexa_7a1 (the same loaded copy the engine uses).
inline ClusterCalls CountingClusterCalls() {
  DynamicLibrary library;
  ClusterCalls calls;
  if (!library.Load(TestClusterDirectory() + "/Plexa_7a1.so")) return calls;
  using Function = void (*)(int*, int*, int*);
  if (auto read = library.Function<Function>("CountingClusterCalls"))
    read(&calls.inits, &calls.closes, &calls.strays);
  library.Detach();
  return calls;
}

// A built-in style cluster: 1 doubles a word (result 3), 2 replies nothing
// but its result, 3 stops serving, 4 writes a word and then asks for no reply.
class SampleCluster final : public TableCluster<SampleCluster, 4> {
 public:
  explicit SampleCluster(int* deletions = nullptr) : deletions_(deletions) {}
  ~SampleCluster() override {
    if (deletions_) ++*deletions_;
  }
  const char* Name() override { return "Sample Cluster"; }
  int Double() {
    channel->WriteWord(channel->ReadWord() * 2);
    return 3;
  }
  int Plain() { return 17; }
  int Finish() {
    context->StopServing();
    return 0;
  }
  int WriteThenQuiet() {
    channel->WriteWord(99);
    context->noReply = 1;
    return 0;
  }
  static const Table kHandlers;

 private:
  int* deletions_;
};

inline const SampleCluster::Table SampleCluster::kHandlers = {nullptr, &SampleCluster::Double,
                                                              &SampleCluster::Plain, &SampleCluster::Finish,
                                                              &SampleCluster::WriteThenQuiet};

class ServeFixture {
 protected:
  ServeFixture() {
    setenv("VELTRA_PLUGIN_PATH", TestClusterDirectory().c_str(), 1);
    Ui::Install(&ui);
    channel.SetLink(&link);
  }
  ~ServeFixture() { Ui::Install(nullptr); }

  TempDir dir{true};
  RecordingUi ui;
  ScriptedLink link;
  RecordingHost host;
  OptionsRecord options = kDefaultOptions;
  ServerContextImpl context{&host, &options};
  LinkChannel channel{&context, &options};
};

}  // namespace veltra::test
