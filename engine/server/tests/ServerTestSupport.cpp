#include "engine/server/tests/ServerTestSupport.h"

#include "platform/Ui.h"
#include "veltra/LinkManager.h"

namespace veltra::test {

const Engine& BoundEngine() {
  static const Engine engine = [] {
    Engine bound;
    DynamicLibrary library;
    if (!library.Load("Orvcore.dll")) {
      bound.error = library.Error();
      return bound;
    }
    bound.getServer = library.Function<GetOrvServerFunction>("GetOrvServer");
    bound.closeServer = library.Function<CloseOrvServerFunction>("CloseOrvServer");
    bound.getVersion = library.Function<GetOrvServerVersionFunction>("GetOrvServerVersion");
    library.Detach();
    return bound;
  }();
  return engine;
}

uint32_t ReplyReader::Word() {
  if (at_ + 4 > block_.size()) {
    ADD_FAILURE() << "reply ends before word at byte " << at_;
    at_ = block_.size();
    return 0xDEADBEEF;
  }
  uint32_t word = static_cast<uint32_t>(block_[at_]) | static_cast<uint32_t>(block_[at_ + 1]) << 8 |
                  static_cast<uint32_t>(block_[at_ + 2]) << 16 | static_cast<uint32_t>(block_[at_ + 3]) << 24;
  at_ += 4;
  return word;
}

std::string ReplyReader::String() {
  uint32_t count = Word();
  if (at_ + count > block_.size()) {
    ADD_FAILURE() << "byte string of " << count << " bytes runs past the reply";
    at_ = block_.size();
    return {};
  }
  std::string text(block_.begin() + static_cast<long>(at_), block_.begin() + static_cast<long>(at_ + count));
  at_ += (count + 3) & ~3u;
  return text;
}

Bytes Request(int cluster, int service, std::initializer_list<uint32_t> words) {
  Bytes out = Words({RequestWord(cluster, service)});
  for (uint32_t word : words) PutWord(out, word);
  return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

Bytes StringArgument(const std::string& text) {
  Bytes out;
  PutBytes(out, text);
  return out;
}

void ServerTest::SetUp() {
  savedDirectory = std::filesystem::current_path();
  const Engine& engine = BoundEngine();
  ASSERT_TRUE(engine.getServer) << "Orvcore: " << engine.error;
  Ui::Install(&ui);
  server = engine.getServer(owner);
  ASSERT_NE(server, nullptr);
  ASSERT_NE(server->options, nullptr) << "the options manager was not bound";
  options = server->options;
  ui.Clear();  // the managers' own start-up notices are not the server's
  threadHandle = server->Start(&host);
  server->SetLink(link.get());
}

void ServerTest::TearDown() {
  if (server) {
    server->Halt();
    server->Shutdown();
    LinkManager* linkManager = server->linkManager;
    delete server;
    server = nullptr;
    // Nothing in the system ends a link manager; a test making one per case
    // ends each, so leak checks see only real leaks.
    delete linkManager;
  }
  Ui::Install(nullptr);
  std::filesystem::current_path(savedDirectory);
}

void ServerTest::SelectApplication(const std::string& name) {
  applicationPath = settings.File(name);
  server->SetApplication(applicationPath.c_str());
  link->SetWhenEmpty(ScriptedLink::WhenEmpty::Block);
}

void ServerTest::RunAndWaitUntilServing() {
  server->Run();
  ASSERT_TRUE(link->WaitForReadBlocked()) << "the run never waited for a request";
}

void ServerTest::HaltAndWait(int runs) {
  server->Halt();
  ASSERT_TRUE(host.WaitForRuns(runs)) << "the run did not end after Halt";
}

}  // namespace veltra::test
