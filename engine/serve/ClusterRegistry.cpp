#include "engine/serve/ClusterRegistry.h"

#include <array>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "platform/DynamicLibrary.h"
#include "veltra/ServerError.h"

namespace veltra {

namespace {

constexpr int kBucketCount = 16;

struct Entry {
  int number;
  Cluster* cluster;
  void* library;  // null: the registry owns the cluster
};

// Hands a cluster back to whoever made it.
void Release(Cluster* cluster, void* library) {
  if (!library) {
    delete cluster;
    return;
  }
  auto close = reinterpret_cast<ClusterCloseFunction>(DynamicLibrary::Symbol(library, "ClusterClose"));
  if (close) close(cluster);
}

}  // namespace

struct ClusterRegistry::Impl {
  RequestChannel* channel;
  ServerContext* context;
  const OptionsRecord* options;
  // Guards buckets and libraries: the host may add a cluster from its own
  // thread (OrvServer::AddCluster) while the serve loop looks one up.
  mutable std::mutex mutex;
  std::array<std::vector<Entry>, kBucketCount> buckets;
  // Libraries loaded for this run, most recent first. They stay loaded for
  // the life of the process, so the handles are only kept, never freed.
  std::vector<void*> libraries;

  bool MonGeneral() const { return options && options->MonGeneral; }

  Cluster* FindLocked(int number) const {
    for (const Entry& entry : buckets[static_cast<unsigned>(number) % kBucketCount])
      if (entry.number == number) return entry.cluster;
    return nullptr;
  }
};

ClusterRegistry::ClusterRegistry(RequestChannel* channel, ServerContext* context,
                                 const OptionsRecord* options)
    : impl_(std::make_unique<Impl>()) {
  impl_->channel = channel;
  impl_->context = context;
  impl_->options = options;
}

ClusterRegistry::~ClusterRegistry() {
  for (auto& bucket : impl_->buckets) {
    for (const Entry& entry : bucket) {
      // One misbehaving cluster must not keep the others from closing.
      try {
        Release(entry.cluster, entry.library);
      } catch (...) {
      }
    }
    bucket.clear();
  }
}

void ClusterRegistry::Add(int number, Cluster* cluster, void* library) {
  if (!cluster) return;
  cluster->channel = impl_->channel;
  cluster->context = impl_->context;
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    if (!impl_->FindLocked(number)) {
      impl_->buckets[static_cast<unsigned>(number) % kBucketCount].push_back({number, cluster, library});
      return;
    }
  }
  Release(cluster, library);
  throw duplicate_cluster(number);
}

Cluster* ClusterRegistry::Find(int number) const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->FindLocked(number);
}

Cluster* ClusterRegistry::LoadLibrary(int number) {
  char name[32];
  std::snprintf(name, sizeof name, "Plexa_%02x.dll", static_cast<unsigned>(number));
  // Messages name the file this platform really looks for.
  std::string file = DynamicLibrary::FileName(name);
  DynamicLibrary library;
  // Under a file root the application may write into the current directory
  // (its own); a library it left there must never be loaded into the server.
  bool confined = impl_->options && impl_->options->FileRoot[0] != '\0';
  if (!library.Load(name, !confined)) {
    if (impl_->MonGeneral() && impl_->context)
      impl_->context->Monitor("Cannot load library %s: %s", file.c_str(), library.Error().c_str());
    return nullptr;
  }
  auto init = library.Function<ClusterInitFunction>("ClusterInit");
  if (!init) return nullptr;  // the library is released on leaving
  if (impl_->MonGeneral() && impl_->context) impl_->context->Monitor("loaded %s", file.c_str());
  void* handle = library.Detach();
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->libraries.insert(impl_->libraries.begin(), handle);
  }
  Cluster* cluster = init();
  if (!cluster) return nullptr;
  Add(number, cluster, handle);
  return cluster;
}

}  // namespace veltra
