// Service wrappers, the stdio layer and the file API, seen from the server's
// end of the link.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ClientThread.h"
#include "FakeServer.h"
#include "veltra_target.h"

namespace veltra::test {
namespace {

constexpr uint32_t kBegin = VT_REC_BEGIN;
constexpr uint32_t kEnd = VT_REC_END;
constexpr uint32_t kNoNewline = VT_REC_NO_NEWLINE;

std::vector<std::string> Split(const char* text) {
  std::vector<char> storage(std::strlen(text) + 1);
  char* argv[16];
  int argc = vt_split_arguments(text, storage.data(), argv, 16);
  return std::vector<std::string>(argv, argv + argc);
}

TEST(ArgumentsTest, BlanksSeparateAndDoubleQuotesGroup) {
  using V = std::vector<std::string>;
  EXPECT_EQ(Split(""), V{});
  EXPECT_EQ(Split("  \t "), V{});
  EXPECT_EQ(Split("one two\tthree"), (V{"one", "two", "three"}));
  EXPECT_EQ(Split("  lead   trail  "), (V{"lead", "trail"}));
  EXPECT_EQ(Split("a \"b c\" d"), (V{"a", "b c", "d"}));
  EXPECT_EQ(Split("x\"y z\"w"), (V{"xy zw"}));
  EXPECT_EQ(Split("\"\" last"), (V{"", "last"}));
  EXPECT_EQ(Split("\"unterminated quote  here"), (V{"unterminated quote  here"}));
  // Storage of strlen + 1 is enough even when every argument is a lone
  // character or an empty pair of quotes.
  EXPECT_EQ(Split("a b c"), (V{"a", "b", "c"}));
  EXPECT_EQ(Split("\"\" \"\""), (V{"", ""}));
}

class ServicesTest : public ::testing::Test {
 protected:
  void SetUp() override { vt_attach_fd(server.ClientFd()); }

  // Serves a Basalt open (service 1) of name as type, replying handle.
  void ServeOpen(const std::string& name, uint32_t type, uint32_t access, uint32_t flags, int32_t handle) {
    ASSERT_EQ(server.BeginRequest(), 0x001u);
    EXPECT_EQ(server.Bytes(), name);
    EXPECT_EQ(server.Word(), type);
    EXPECT_EQ(server.Word(), access);
    EXPECT_EQ(server.Word(), flags);
    server.Word();  // record length
    server.EndRequest();
    server.Send(FakeServer::Reply().Word(static_cast<uint32_t>(handle)), 0);
  }

  struct WriteRecord {
    uint32_t control;
    int32_t length;
    std::string data;
  };
  // Takes a write-record request (service 16) for handle and answers 0.
  WriteRecord ServeWriteRecord(uint32_t handle) {
    WriteRecord r{};
    EXPECT_EQ(server.BeginRequest(), 0x010u);
    EXPECT_EQ(server.Word(), handle);
    r.control = server.Word();
    r.length = static_cast<int32_t>(server.Word());
    r.data = server.Bytes();
    server.EndRequest();
    server.SendResult(0);
    return r;
  }

  // Serves a close (service 11) of handle with disposition keep.
  void ServeClose(uint32_t handle) {
    EXPECT_EQ(server.BeginRequest(), 0x00Bu);
    EXPECT_EQ(server.Word(), handle);
    EXPECT_EQ(server.Word(), 0u);
    server.EndRequest();
    server.SendResult(0);
  }

  // Takes a read-record request (service 15); returns {control, n}.
  std::pair<uint32_t, uint32_t> TakeReadRecord(uint32_t handle) {
    EXPECT_EQ(server.BeginRequest(), 0x00Fu);
    EXPECT_EQ(server.Word(), handle);
    uint32_t control = server.Word();
    uint32_t n = server.Word();
    server.EndRequest();
    return {control, n};
  }

  FakeServer server;
};

TEST_F(ServicesTest, CommandLineComesFromCoreServiceTwo) {
  ClientThread<std::vector<std::string>> client(server, [] {
    int argc = 0;
    char** argv = nullptr;
    EXPECT_EQ(vt_command_line(&argc, &argv), 0);
    std::vector<std::string> args(argv, argv + argc);
    EXPECT_EQ(argv[argc], nullptr);
    free(argv);
    return args;
  });
  EXPECT_EQ(server.BeginRequest(), 0x102u);
  server.EndRequest();
  server.Send(FakeServer::Reply().Bytes("/apps/demo.app").Bytes("alpha \"beta gamma\"  delta \"\""), 0);
  EXPECT_EQ(client.Get(), (std::vector<std::string>{"/apps/demo.app", "alpha", "beta gamma", "delta", ""}));
}

TEST_F(ServicesTest, TextRecordsCarryBeginEndAndNoNewlineBits) {
  ClientThread<std::vector<int32_t>> client(server, [] {
    vt_file* f = vt_fopen("lines.txt", VT_REC_TEXT, VT_WRITE, VT_CREATE, 0);
    std::vector<int32_t> results{vt_fwrite_line(f, "abc", 0), vt_fwrite_line(f, "def", 1)};
    char line[8];
    int32_t length = 0;
    size_t got = 0;
    results.push_back(vt_fread_record(f, line, 2, &length, &got));
    results.push_back(length);
    results.push_back(static_cast<int32_t>(got));
    vt_fremove_on_close(f, 1);
    results.push_back(vt_fclose(f));
    return results;
  });
  ServeOpen("lines.txt", 1, 1, 1, 5);
  WriteRecord first = ServeWriteRecord(5);
  EXPECT_EQ(first.control, kBegin | kEnd | kNoNewline);
  EXPECT_EQ(first.length, 3);
  EXPECT_EQ(first.data, "abc");
  WriteRecord second = ServeWriteRecord(5);
  EXPECT_EQ(second.control, kBegin | kEnd);
  EXPECT_EQ(second.data, "def");

  // A short read of a text record begins it and leaves it open: no end call.
  auto [control, n] = TakeReadRecord(5);
  EXPECT_EQ(control, kBegin);
  EXPECT_EQ(n, 2u);
  server.Send(FakeServer::Reply().Word(6).Bytes("ab"), 0);

  EXPECT_EQ(server.BeginRequest(), 0x00Bu);  // close with disposition delete
  EXPECT_EQ(server.Word(), 5u);
  EXPECT_EQ(server.Word(), 1u);
  server.EndRequest();
  server.SendResult(0);
  EXPECT_EQ(client.Get(), (std::vector<int32_t>{0, 0, 0, 6, 2, 0}));
}

TEST_F(ServicesTest, CountedRecordsPatchUnknownLengthsAndEndReadsSeparately) {
  const std::string big(5000, 'x');
  const std::string part(6000, 'y');
  ClientThread<std::vector<int32_t>> client(server, [&] {
    vt_file* f = vt_fopen("counted.dat", VT_REC_COUNTED, VT_UPDATE, VT_CREATE, 0);
    std::vector<int32_t> results;
    results.push_back(vt_fwrite_record(f, big.data(), big.size()));
    results.push_back(vt_frecord_begin(f, VT_REC_UNKNOWN_LENGTH, "0123456789", 10));
    results.push_back(vt_frecord_add(f, part.data(), part.size()));
    results.push_back(vt_frecord_end(f));
    std::vector<char> buffer(8192);
    int32_t length = 0;
    size_t got = 0;
    results.push_back(vt_fread_record(f, buffer.data(), buffer.size(), &length, &got));
    results.push_back(length);
    results.push_back(static_cast<int32_t>(got));
    results.push_back(vt_fread_record(f, buffer.data(), buffer.size(), &length, &got));
    results.push_back(static_cast<int32_t>(got));
    vt_fclose(f);
    return results;
  });
  ServeOpen("counted.dat", 2, 2, 1, 6);

  // A known length above 4096 goes in two calls: begin with the length, then end.
  WriteRecord w = ServeWriteRecord(6);
  EXPECT_EQ(w.control, kBegin);
  EXPECT_EQ(w.length, 5000);
  EXPECT_EQ(w.data.size(), 4096u);
  w = ServeWriteRecord(6);
  EXPECT_EQ(w.control, kEnd);
  EXPECT_EQ(w.data.size(), 904u);

  // Unknown length: -1 in the begin call, bare pieces, an empty end call.
  w = ServeWriteRecord(6);
  EXPECT_EQ(w.control, kBegin);
  EXPECT_EQ(w.length, -1);
  EXPECT_EQ(w.data, "0123456789");
  w = ServeWriteRecord(6);
  EXPECT_EQ(w.control, 0u);
  EXPECT_EQ(w.data.size(), 4096u);
  w = ServeWriteRecord(6);
  EXPECT_EQ(w.control, 0u);
  EXPECT_EQ(w.data.size(), 1904u);
  w = ServeWriteRecord(6);
  EXPECT_EQ(w.control, kEnd);
  EXPECT_EQ(w.data, "");

  // Reading: begin, then a separate end once the data is counted.
  auto [control, n] = TakeReadRecord(6);
  EXPECT_EQ(control, kBegin);
  EXPECT_EQ(n, 4096u);
  server.Send(FakeServer::Reply().Word(100).Bytes(std::string(100, 'z')), 0);
  std::tie(control, n) = TakeReadRecord(6);
  EXPECT_EQ(control, kEnd);
  EXPECT_EQ(n, 0u);
  server.Send(FakeServer::Reply().Word(0).Bytes(""), 0);

  // At the end mark: result 1 and no end call after it.
  std::tie(control, n) = TakeReadRecord(6);
  EXPECT_EQ(control, kBegin);
  server.Send(FakeServer::Reply().Word(0xFFFFFFFF).Bytes(""), 1);
  ServeClose(6);

  EXPECT_EQ(client.Get(), (std::vector<int32_t>{0, 0, 0, 0, 0, 100, 100, VT_EOF, 0}));
  EXPECT_TRUE(server.Quiet(100));
}

TEST_F(ServicesTest, CrlfRecordReadIsOneCall) {
  ClientThread<std::string> client(server, [] {
    vt_file* f = vt_fopen("crlf.txt", VT_REC_CRLF, VT_READ, 0, 0);
    char buffer[100];
    int32_t length = 0;
    size_t got = 0;
    EXPECT_EQ(vt_fread_record(f, buffer, sizeof buffer, &length, &got), 0);
    EXPECT_EQ(vt_fbackspace(f), 0);
    vt_fclose(f);
    return std::string(buffer, got);
  });
  ServeOpen("crlf.txt", 3, 0, 0, 2);
  auto [control, n] = TakeReadRecord(2);
  EXPECT_EQ(control, kBegin);
  EXPECT_EQ(n, 100u);
  server.Send(FakeServer::Reply().Word(5).Bytes("hello"), 0);
  EXPECT_EQ(server.BeginRequest(), 0x011u);  // backspace
  EXPECT_EQ(server.Word(), 2u);
  server.EndRequest();
  server.SendResult(0);
  ServeClose(2);
  EXPECT_EQ(client.Get(), "hello");
}

TEST_F(ServicesTest, FixedRecordsAreAddressedByNumber) {
  ClientThread<std::vector<int32_t>> client(server, [] {
    const std::string record(64, 'r');
    vt_file* f4 = vt_fopen("fixed4.dat", VT_REC_FIXED, VT_UPDATE, VT_CREATE, 64);
    vt_file* f5 = vt_fopen("fixed5.dat", VT_REC_FIXED2, VT_UPDATE, VT_CREATE, 64);
    std::vector<int32_t> results;
    results.push_back(vt_fwrite_record_at(f4, 7, record.data(), record.size()));
    char buffer[64];
    int32_t length = 0;
    size_t got = 0;
    results.push_back(vt_fread_record_at(f4, 3, buffer, sizeof buffer, &length, &got));
    results.push_back(static_cast<int32_t>(got));
    results.push_back(vt_fwrite_record_at(f5, VT_REC_NUMBER_MASK, record.data(), record.size()));
    // Refused without a request: numbers beyond 26 bits, record 0, and
    // sequential calls on a fixed-length file.
    results.push_back(vt_fwrite_record_at(f5, VT_REC_NUMBER_MASK + 1, record.data(), record.size()));
    results.push_back(vt_fread_record_at(f5, 0, buffer, sizeof buffer, &length, &got));
    results.push_back(vt_fwrite_record(f5, record.data(), record.size()));
    vt_fclose(f4);
    vt_fclose(f5);
    return results;
  });
  ServeOpen("fixed4.dat", 4, 2, 1, 3);
  ServeOpen("fixed5.dat", 5, 2, 1, 4);
  WriteRecord w = ServeWriteRecord(3);
  EXPECT_EQ(w.control, kBegin | kEnd | 7u);
  EXPECT_EQ(w.length, 64);
  EXPECT_EQ(w.data, std::string(64, 'r'));
  auto [control, n] = TakeReadRecord(3);
  EXPECT_EQ(control, kBegin | 3u);
  EXPECT_EQ(n, 64u);
  server.Send(FakeServer::Reply().Word(64).Bytes(std::string(64, 's')), 0);
  w = ServeWriteRecord(4);
  EXPECT_EQ(w.control, kBegin | kEnd | VT_REC_NUMBER_MASK);
  ServeClose(3);
  ServeClose(4);
  EXPECT_EQ(client.Get(), (std::vector<int32_t>{0, 0, 64, 0, VT_E_ARGUMENT, VT_E_ARGUMENT, VT_E_ARGUMENT}));
  EXPECT_TRUE(server.Quiet(100));
}

TEST_F(ServicesTest, ConsoleOutputOpensOnceAndWritesInPiecesOf4096) {
  const std::string text(10000, 'o');
  ClientThread<std::vector<int>> client(server, [&] {
    return std::vector<int>{vt_printf("%s", text.c_str()), vt_eprintf("e%d\n", 1), vt_puts("done")};
  });
  EXPECT_EQ(server.BeginRequest(), 0x004u);
  EXPECT_EQ(server.Word(), 0u);
  server.EndRequest();
  server.Send(FakeServer::Reply().Word(11), 0);
  std::string written;
  for (size_t expected : {4096u, 4096u, 1808u}) {
    EXPECT_EQ(server.BeginRequest(), 0x00Du);
    EXPECT_EQ(server.Word(), 11u);
    std::string piece = server.Bytes();
    EXPECT_EQ(piece.size(), expected);
    written += piece;
    server.EndRequest();
    server.Send(FakeServer::Reply().Word(static_cast<uint32_t>(piece.size())), 0);
  }
  EXPECT_EQ(written, text);
  EXPECT_EQ(server.BeginRequest(), 0x004u);  // standard error, opened on its first use
  EXPECT_EQ(server.Word(), 1u);
  server.EndRequest();
  server.Send(FakeServer::Reply().Word(12), 0);
  EXPECT_EQ(server.BeginRequest(), 0x00Du);
  EXPECT_EQ(server.Word(), 12u);
  EXPECT_EQ(server.Bytes(), "e1\n");
  server.EndRequest();
  server.Send(FakeServer::Reply().Word(3), 0);
  EXPECT_EQ(server.BeginRequest(), 0x00Du);
  EXPECT_EQ(server.Word(), 11u);
  EXPECT_EQ(server.Bytes(), "done\n");
  server.EndRequest();
  server.Send(FakeServer::Reply().Word(2), 0);  // a short write is a failure
  EXPECT_EQ(client.Get(), (std::vector<int>{10000, 3, -1}));
}

TEST_F(ServicesTest, LineInputSplitsServerLinesToTheCallersBuffer) {
  ClientThread<std::vector<std::string>> client(server, [] {
    std::vector<std::string> pieces;
    char buffer[6];
    while (vt_fgets(buffer, sizeof buffer, vt_stdin()) != nullptr) pieces.push_back(buffer);
    return pieces;
  });
  EXPECT_EQ(server.BeginRequest(), 0x003u);
  EXPECT_EQ(server.Word(), 0u);
  server.EndRequest();
  server.Send(FakeServer::Reply().Word(10), 0);
  for (const char* line : {"hello world\n", "x\n"}) {
    EXPECT_EQ(server.BeginRequest(), 0x00Cu);
    EXPECT_EQ(server.Word(), 10u);
    EXPECT_EQ(server.Word(), 4096u);
    server.EndRequest();
    server.Send(FakeServer::Reply().Bytes(line), 0);
  }
  EXPECT_EQ(server.BeginRequest(), 0x00Cu);
  server.Word();
  server.Word();
  server.EndRequest();
  server.Send(FakeServer::Reply().Bytes(""), 1);
  EXPECT_EQ(client.Get(), (std::vector<std::string>{"hello", " worl", "d\n", "x\n"}));
}

TEST_F(ServicesTest, ConsoleReadsKeepTheRestOfALineWhateverTheMix) {
  ClientThread<std::vector<std::string>> client(server, [] {
    std::vector<std::string> pieces;
    char buffer[128];
    size_t got = 0;
    auto read = [&](size_t n) {
      int32_t result = vt_fread(vt_stdin(), buffer, n, &got);
      pieces.push_back(std::to_string(result) + ":" + std::string(buffer, got));
    };
    auto gets = [&](int size) {
      const char* line = vt_fgets(buffer, size, vt_stdin());
      pieces.push_back(line ? line : "(null)");
    };
    read(10);
    read(4);
    gets(64);
    gets(4);
    read(100);  // the rest of the line at hand, without asking for another
    read(100);
    gets(64);
    return pieces;
  });
  EXPECT_EQ(server.BeginRequest(), 0x003u);
  EXPECT_EQ(server.Word(), 0u);
  server.EndRequest();
  server.Send(FakeServer::Reply().Word(10), 0);
  // The console answers with a whole line whatever the count.
  auto serveLine = [&](const std::string& line, int32_t result) {
    EXPECT_EQ(server.BeginRequest(), 0x00Cu);
    EXPECT_EQ(server.Word(), 10u);
    server.Word();
    server.EndRequest();
    server.Send(FakeServer::Reply().Bytes(line), result);
  };
  serveLine("hello world, a long line\n", 0);
  serveLine("second\n", 0);
  serveLine("", 1);
  EXPECT_EQ(client.Get(), (std::vector<std::string>{"0:hello worl", "0:d, a", " long line\n", "sec",
                                                    "0:ond\n", "1:", "(null)"}));
  EXPECT_TRUE(server.Quiet(100));
}

TEST_F(ServicesTest, GraphSamplesGoInRequestsThatFitOneBlock) {
  std::vector<double> samples(2100);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = 0.5 * static_cast<double>(i) - 7.0;
  ClientThread<int32_t> client(server, [&] {
    return vt_graph_append(VT_CLUSTER_GRAPH, 0x1234, samples.data(), static_cast<uint32_t>(samples.size()));
  });
  size_t next = 0;
  for (uint32_t expected : {1034u, 1034u, 32u}) {
    EXPECT_EQ(server.BeginRequest(), 0x30109u);
    EXPECT_EQ(server.Word(), 0x1234u);
    EXPECT_EQ(server.Word(), expected);
    std::string bytes = server.Bytes();
    ASSERT_EQ(bytes.size(), 8u * expected);
    for (uint32_t i = 0; i < expected; ++i, ++next) {
      double value;
      std::memcpy(&value, bytes.data() + 8 * i, 8);  // little-endian host
      ASSERT_EQ(value, samples[next]);
    }
    server.EndRequest();
    EXPECT_EQ(server.BlockSizes().size(), 1u);
    server.SendResult(0);
  }
  EXPECT_EQ(client.Get(), 0);
}

TEST_F(ServicesTest, GraphTextsCarryTheirZeroAndAreCutTo128Bytes) {
  const std::string longTitle(300, 't');
  ClientThread<int32_t> client(server, [&] {
    vt_graph_set_x_title(VT_CLUSTER_COMBINED, 3, longTitle.c_str(), "Hz");
    return vt_graph_set_axis_ranges_phis(VT_CLUSTER_GRAPH, 3, 10, 512, -1.5, 3.0);
  });
  EXPECT_EQ(server.BeginRequest(), 0x30003u);
  EXPECT_EQ(server.Word(), 3u);
  EXPECT_EQ(server.Bytes(), std::string(127, 't') + '\0');
  EXPECT_EQ(server.Bytes(), std::string("Hz", 3));
  server.EndRequest();
  server.SendResult(0);
  EXPECT_EQ(server.BeginRequest(), 0x30105u);
  server.Word();
  std::string block = server.Bytes();
  ASSERT_EQ(block.size(), 24u);
  int32_t first, count;
  double minimum, size;
  std::memcpy(&first, block.data(), 4);
  std::memcpy(&count, block.data() + 4, 4);
  std::memcpy(&minimum, block.data() + 8, 8);
  std::memcpy(&size, block.data() + 16, 8);
  EXPECT_EQ(first, 10);
  EXPECT_EQ(count, 512);
  EXPECT_EQ(minimum, -1.5);
  EXPECT_EQ(size, 3.0);
  server.EndRequest();
  server.SendResult(0);
  client.Get();
}

TEST_F(ServicesTest, PanelServicesUseTheNumbersOfTheirCluster) {
  struct Seen {
    int32_t amplitude = 0, frequency = 0;
    int32_t notOpenResult = 0, notOpenFrequency = 0;
    vt_panel_settings settings{};
    int32_t answer = 0;
  };
  ClientThread<Seen> client(server, [] {
    Seen seen;
    seen.amplitude = vt_panel_read_input(VT_CLUSTER_PANEL, &seen.frequency);
    seen.notOpenResult = vt_panel_read_input(VT_CLUSTER_COMBINED, &seen.notOpenFrequency);
    vt_panel_read_panel(VT_CLUSTER_COMBINED, &seen.settings);
    seen.answer = vt_panel_ask_yes_no(VT_CLUSTER_PANEL, "Caption", "Go on?");
    return seen;
  });
  EXPECT_EQ(server.BeginRequest(), 0x31004u);
  server.EndRequest();
  server.Send(FakeServer::Reply().Word(40), 77);
  EXPECT_EQ(server.BeginRequest(), 0x3000Eu);  // service 14
  server.EndRequest();
  server.SendResult(0);

  EXPECT_EQ(server.BeginRequest(), 0x30011u);  // service 17
  server.EndRequest();
  std::string block(536, '\0');
  auto put = [&](size_t at, uint32_t v) { std::memcpy(block.data() + at, &v, 4); };
  put(0, 105);
  put(4, 30);
  put(8, 1);
  put(12, 50);
  put(16, 100);
  std::memcpy(block.data() + 20, "pattern.dat", 11);
  put(532, 1);
  server.Send(FakeServer::Reply().Bytes(block), 0);

  EXPECT_EQ(server.BeginRequest(), 0x31009u);
  EXPECT_EQ(server.Bytes(), std::string("Caption", 8));
  EXPECT_EQ(server.Bytes(), std::string("Go on?", 7));
  server.EndRequest();
  server.SendResult(1);

  Seen seen = client.Get();
  EXPECT_EQ(seen.amplitude, 77);
  EXPECT_EQ(seen.frequency, 40);
  EXPECT_EQ(seen.notOpenResult, 0);
  EXPECT_EQ(seen.notOpenFrequency, -1);
  EXPECT_EQ(seen.settings.adc_mhz, 105);
  EXPECT_EQ(seen.settings.dac_mhz, 30);
  EXPECT_EQ(seen.settings.pattern_generator, 1);
  EXPECT_EQ(seen.settings.pattern_frequency, 50);
  EXPECT_EQ(seen.settings.pattern_amplitude, 100);
  EXPECT_STREQ(seen.settings.pattern_file, "pattern.dat");
  EXPECT_EQ(seen.settings.terminate, 1);
  EXPECT_EQ(seen.answer, 1);
}

}  // namespace
}  // namespace veltra::test
