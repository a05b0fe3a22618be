#include "engine/serve/ServeLoop.h"

#include <cstdio>
#include <string>

#include "platform/DynamicLibrary.h"
#include "platform/Ui.h"

namespace veltra {

namespace {

constexpr uint32_t kNoReplyBit = 0x80000000u;
constexpr int kClusterAbsent = 128;

void ReportMissingCluster(ServerContextImpl& context, int cluster, int service) {
  char name[32];
  std::snprintf(name, sizeof name, "Plexa_%02x.dll", static_cast<unsigned>(cluster));
  char text[160];
  std::snprintf(text, sizeof text, "Cannot locate file \"%s\"\nto satisfy request for cluster %d service %d",
                DynamicLibrary::FileName(name).c_str(), cluster, service);
  HostCallbacks* host = context.Host();
  Ui::MessageBox(host ? host->MainWindow() : nullptr, text, "Missing service cluster",
                 MessageIcon::Information);
}

}  // namespace

void FormatRequestId(char* buffer, unsigned size, uint32_t word) {
  unsigned cluster = (word >> 8) & 0xFFFF;
  int service = static_cast<int>(word & 0xFF);
  std::snprintf(buffer, size, "A1.%u.%d (%08lX)%s", cluster, service, static_cast<unsigned long>(word),
                (word & kNoReplyBit) ? " [N]" : "");
}

bool ServeLoop(ServerContextImpl& context, RequestChannel& channel, ClusterRegistry& registry,
               RequestFilter* filter) {
  const std::atomic<RequestFilter*> fixed{filter};
  return ServeLoop(context, channel, registry, fixed);
}

bool ServeLoop(ServerContextImpl& context, RequestChannel& channel, ClusterRegistry& registry,
               const std::atomic<RequestFilter*>& currentFilter) {
  while (context.IsServing()) {
    uint32_t word = channel.ReadUnsigned();
    context.noReply = (word & kNoReplyBit) ? 1 : 0;
    int cluster = static_cast<int>((word >> 8) & 0xFFFF);
    int service = static_cast<int>(word & 0xFF);
    const OptionsRecord* options = context.Options();
    if (options && options->MonProt) {
      char id[48];
      FormatRequestId(id, sizeof id, word);
      context.Monitor("service %s", id);
    }

    Cluster* target = registry.Find(cluster);
    RequestFilter* filter = target ? nullptr : currentFilter.load();
    if (filter) {
      if (filter->Handle(cluster, service, context.noReply == 0, &channel)) {
        channel.Flush();
        continue;
      }
      target = registry.Find(cluster);
    }
    if (!target) target = registry.LoadLibrary(cluster);
    if (!target) {
      if (service != 0) {
        ReportMissingCluster(context, cluster, service);
        context.StopServing();
        return false;
      }
      if (!context.noReply) {
        channel.WriteWord(kClusterAbsent);
        channel.Flush();
      }
      continue;
    }

    int result = target->Dispatch(cluster, service);
    // A handler may have changed the flag (the task exit service does).
    if (!context.noReply) {
      channel.WriteWord(result);
      channel.Flush();
    }
  }
  return true;
}

}  // namespace veltra
