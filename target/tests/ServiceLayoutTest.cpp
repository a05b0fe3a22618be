// Every service function once: the request word, the arguments in the order
// the server reads them, and how the reply values and the result word come
// back as the function's outputs. The layouts are those of the server's
// service tables, written out here independently of the run-time's code.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ClientThread.h"
#include "FakeServer.h"
#include "veltra_target.h"

namespace veltra::test {
namespace {

// One argument as the server reads it: a word or a byte string.
struct Arg {
  bool isBytes;
  uint32_t word;
  std::string bytes;
};

Arg W(int64_t value) {
  return {false, static_cast<uint32_t>(value), {}};
}

Arg B(std::string value) {
  return {true, 0, std::move(value)};
}

// A text as the graph and panel clusters take it: with its terminating zero.
std::string Z(const char* text) {
  return std::string(text) + '\0';
}

// Values laid out as the host's little-endian memory holds them.
template <class... T>
std::string Pack(T... values) {
  std::string out;
  (out.append(reinterpret_cast<const char*>(&values), sizeof values), ...);
  return out;
}

// A call's outputs: its result word first, then its out-parameters, each as
// text. Built as Out(call) << output..., since the operands of << are
// evaluated from left to right.
using Outs = std::vector<std::string>;

struct Out {
  explicit Out(int32_t result) : values{std::to_string(result)} {}
  Out& operator<<(int64_t value) {
    values.push_back(std::to_string(value));
    return *this;
  }
  Out& operator<<(const std::string& text) {
    values.push_back(text);
    return *this;
  }
  operator Outs() const { return values; }
  Outs values;
};

// The out-parameters of the call under test, reset before each case.
struct Scratch {
  int32_t a, b, c, d;
  uint32_t n;
  char text[64], text2[64];
  int32_t info[3];
  vt_panel_settings panel;
} o;

// The first n bytes a call stored in o.text.
std::string Got(uint32_t n) {
  return std::string(o.text, n);
}

struct Case {
  const char* name;
  std::function<Outs()> call;
  uint32_t request;  // the request word
  std::vector<Arg> args;
  FakeServer::Reply reply;  // values before the result word
  int32_t result;
  Outs outputs;
  bool replied = true;
};

using R = FakeServer::Reply;

// A case: the request the call must send, the reply the server gives, and
// the outputs the call must make of it.
Case C(const char* name, uint32_t request, std::vector<Arg> args, R reply, int32_t result, Outs outputs,
       std::function<Outs()> call) {
  return {name, std::move(call), request, std::move(args), std::move(reply), result, std::move(outputs)};
}

// A request the server answers with no reply at all.
Case NoReply(Case c) {
  c.replied = false;
  return c;
}

void RunCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.name << ", request word 0x" << std::hex << c.request);
    o = Scratch{};
    // Texts a call fails to terminate show as a run of Q.
    std::memset(o.text, 'Q', sizeof o.text - 1);
    std::memset(o.text2, 'Q', sizeof o.text2 - 1);
    FakeServer server;
    vt_attach_fd(server.ClientFd());
    ClientThread<Outs> client(server, c.call);
    try {
      EXPECT_EQ(server.BeginRequest(), c.request);
      for (const Arg& a : c.args) {
        if (a.isBytes)
          EXPECT_EQ(server.Bytes(), a.bytes);
        else
          EXPECT_EQ(server.Word(), a.word);
      }
      server.EndRequest();
    } catch (const std::runtime_error& e) {
      ADD_FAILURE() << e.what();
    }
    if (c.replied) server.Send(c.reply, c.result);
    EXPECT_EQ(client.Get(), c.outputs);
    // The client has finished, so anything more it sent is already waiting.
    EXPECT_TRUE(server.Quiet(0)) << "more than one request";
  }
}

constexpr int32_t h = 5;  // a stream handle

TEST(ServiceLayoutTest, BasaltServices) {
  RunCases({
      C("open", 0x001, {B("data.bin"), W(2), W(1), W(3), W(64)}, R().Word(7), 0, {"0", "7"},
        [] { return Out(vt_basalt_open("data.bin", 2, 1, 3, 64, &o.a)) << o.a; }),
      C("open a temporary file", 0x002, {W(1), W(1024)}, R().Word(4), 0, {"0", "4"},
        [] { return Out(vt_basalt_open_temp(1, 1024, &o.a)) << o.a; }),
      C("open console input", 0x003, {W(1)}, R().Word(0xFFFFFFFF), 7, {"7", "-1"},
        [] { return Out(vt_basalt_open_input(1, &o.a)) << o.a; }),
      C("open console output", 0x004, {W(1)}, R().Word(2), 0, {"0", "2"},
        [] { return Out(vt_basalt_open_output(1, &o.a)) << o.a; }),
      C("record type", 0x005, {W(h)}, R().Word(3), 0, {"0", "3"},
        [] { return Out(vt_basalt_record_type(h, &o.a)) << o.a; }),
      C("status", 0x006, {W(h)}, R(), -432, {"-432"}, [] { return Out(vt_basalt_status(h)); }),
      C("name", 0x007, {W(h)}, R().Bytes("stderr"), 0, {"0", "stderr"},
        [] { return Out(vt_basalt_name(h, o.text, sizeof o.text)) << o.text; }),
      C("size", 0x008, {W(h)}, R().Word(123456), 0, {"0", "123456"},
        [] { return Out(vt_basalt_size(h, &o.n)) << o.n; }),
      C("device info", 0x009, {W(h)}, R().Word(0xFFFFFFFF).Word(1024).Word(0), 0, {"0", "-1", "1024", "0"},
        [] { return Out(vt_basalt_device_info(h, o.info)) << o.info[0] << o.info[1] << o.info[2]; }),
      C("close", 0x00B, {W(h), W(1)}, R(), 0, {"0"}, [] { return Out(vt_basalt_close(h, VT_DELETE)); }),
      C("read", 0x00C, {W(h), W(6)}, R().Bytes("abcdef"), 0, {"0", "abcdef"},
        [] { return Out(vt_basalt_read(h, 6, o.text, sizeof o.text, &o.n)) << Got(o.n); }),
      C("write", 0x00D, {W(h), B("xyz")}, R().Word(3), 0, {"0", "3"},
        [] { return Out(vt_basalt_write(h, "xyz", 3, &o.n)) << o.n; }),
      C("seek", 0x00E, {W(h), W(100)}, R(), 0, {"0"}, [] { return Out(vt_basalt_seek(h, 100)); }),
      C("read record", 0x00F, {W(h), W(0xC0000000), W(8)}, R().Word(11).Bytes("record 1"), 0,
        {"0", "11", "record 1"},
        [] {
          return Out(vt_basalt_read_record(h, VT_REC_BEGIN | VT_REC_END, 8, o.text, 8, &o.a, &o.n))
                 << o.a << Got(o.n);
        }),
      C("write record", 0x010, {W(h), W(0xA0000000), W(-1), B("line")}, R(), 0, {"0"},
        [] { return Out(vt_basalt_write_record(h, VT_REC_BEGIN | VT_REC_NO_NEWLINE, -1, "line", 4)); }),
      C("backspace", 0x011, {W(h)}, R(), 99, {"99"}, [] { return Out(vt_basalt_backspace(h)); }),
      C("rewind", 0x012, {W(h)}, R(), 0, {"0"}, [] { return Out(vt_basalt_rewind(h)); }),
      C("end file", 0x013, {W(h)}, R(), 0, {"0"}, [] { return Out(vt_basalt_end_file(h)); }),
      // The reply word 0 comes before the result that tells.
      C("exists", 0x015, {B("a.txt")}, R().Word(0), 101, {"101"},
        [] { return Out(vt_basalt_exists("a.txt")); }),
      C("readable", 0x016, {B("a.txt")}, R(), 99, {"99"}, [] { return Out(vt_basalt_readable("a.txt")); }),
      C("stream kind", 0x017, {W(h)}, R().Word(3), 0, {"0", "3"},
        [] { return Out(vt_basalt_stream_kind(h, &o.a)) << o.a; }),
      C("end task and wait", 0x018, {W(0)}, R(), 0, {"0"}, [] { return Out(vt_basalt_exit_task(0)); }),
      // A non-zero word makes the server send no reply; bit 31 of the request word stays clear.
      NoReply(C("end task without reply", 0x018, {W(1)}, R(), 0, {"0"},
                [] { return Out(vt_basalt_exit_task(1)); })),
      C("exit status", 0x019, {W(-3)}, R(), 0, {"0"}, [] { return Out(vt_basalt_set_exit_status(-3)); }),
      C("system", 0x01A, {B("ls -l")}, R(), 256, {"256"}, [] { return Out(vt_basalt_system("ls -l")); }),
      C("rename", 0x01B, {B("old"), B("new")}, R(), 0, {"0"},
        [] { return Out(vt_basalt_rename("old", "new")); }),
      C("time", 0x01C, {}, R().Word(1700000000), 0, {"0", "1700000000"},
        [] { return Out(vt_basalt_time(&o.n)) << o.n; }),
      C("reserved 29", 0x01D, {}, R(), 99, {"99"}, [] { return Out(vt_basalt_reserved29()); }),
      C("peek", 0x01E, {W(0x1000), W(4)}, R().Bytes("abcd"), 0, {"0", "abcd"},
        [] { return Out(vt_basalt_peek(0x1000, 4, o.text, sizeof o.text, &o.n)) << Got(o.n); }),
      C("poke", 0x01F, {W(0x2000), B("data")}, R().Word(4), 0, {"0", "4"},
        [] { return Out(vt_basalt_poke(0x2000, "data", 4, &o.n)) << o.n; }),
      C("reserved 32", 0x020, {}, R(), 99, {"99"}, [] { return Out(vt_basalt_reserved32()); }),
      C("reserved 33", 0x021, {}, R(), 99, {"99"}, [] { return Out(vt_basalt_reserved33()); }),
      C("reserved 34", 0x022, {W(5)}, R().Word(0), 99, {"99", "0"},
        [] { return Out(vt_basalt_reserved34(5, &o.a)) << o.a; }),
      C("environment", 0x023, {B("HOME")}, R().Bytes("/home/dsp"), 0, {"0", "/home/dsp"},
        [] { return Out(vt_basalt_getenv("HOME", o.text, sizeof o.text)) << o.text; }),
      C("port in", 0x024, {W(0x378)}, R().Word(0xFFFFFF80), 0, {"0", "-128"},
        [] { return Out(vt_basalt_port_in(0x378, &o.a)) << o.a; }),
      C("port out", 0x025, {W(0x378), W(0x1FF)}, R(), 0, {"0"},
        [] { return Out(vt_basalt_port_out(0x378, 0x1FF)); }),
      C("task count", 0x026, {W(2)}, R(), 0, {"0"}, [] { return Out(vt_basalt_set_task_count(2)); }),
      C("input title", 0x027, {B("Input")}, R(), 0, {"0"},
        [] { return Out(vt_basalt_set_input_title("Input")); }),
  });
}

TEST(ServiceLayoutTest, CoreDebugAndDebuggerServices) {
  RunCases({
      // Read in the order a, b, c, d; b is the processor number.
      C("exception", 0x101, {W(0x12), W(3), W(0xDEAD), W(0xBEEF)}, R(), 0, {"0"},
        [] { return Out(vt_core_exception(0x12, 3, 0xDEAD, 0xBEEF)); }),
      C("get command line", 0x102, {}, R().Bytes("demo.app").Bytes("-v x"), 0, {"0", "demo.app", "-v x"},
        [] { return Out(vt_core_get_command_line(o.text, 64, o.text2, 64)) << o.text << o.text2; }),
      C("set command line", 0x103, {B("prog"), B("a b")}, R(), 12, {"12"},
        [] { return Out(vt_core_set_command_line("prog", "a b")); }),
      C("echo", 0x104, {B("hello")}, R().Bytes("hello"), 0, {"0", "hello"},
        [] { return Out(vt_core_echo("hello", 5, o.text, sizeof o.text, &o.n)) << Got(o.n); }),
      C("sink", 0x105, {B("data")}, R(), 0, {"0"}, [] { return Out(vt_core_sink("data", 4)); }),
      C("source", 0x106, {W(6)}, R().Bytes("srcdat"), 0, {"0", "srcdat"},
        [] { return Out(vt_core_source(6, o.text, sizeof o.text, &o.n)) << Got(o.n); }),
      C("link sync", 0x107, {}, R(), 0, {"0"}, [] { return Out(vt_core_link_sync()); }),
      C("debug value", 0x401, {W(0xCAFE)}, R(), 0, {"0"}, [] { return Out(vt_debug_value(0xCAFE)); }),
      C("debug word", 0x402, {W(7)}, R(), 0, {"0"}, [] { return Out(vt_debug_word(7)); }),
      C("debug character", 0x403, {W('A')}, R(), 0, {"0"}, [] { return Out(vt_debug_char('A')); }),
      C("debugger announce", 0x501, {W(1), W(2), B("ab"), B("cde")}, R(), 0, {"0"},
        [] { return Out(vt_debugger_announce(1, 2, "ab", 2, "cde", 3)); }),
      C("debugger service 2", 0x502, {}, R(), 0, {"0"}, [] { return Out(vt_debugger_nop()); }),
      C("debug pause", 0x503, {}, R(), 0, {"0"}, [] { return Out(vt_debugger_pause()); }),
  });
}

constexpr int32_t kGraph = 42;  // a graph handle
constexpr double kSamples[] = {1.5, -2.25, 1e300};

// The graph services have the same numbers and layouts on both clusters.
std::vector<Case> GraphCases(uint32_t g) {
  const uint32_t r = g << 8;
  return {
      C("open", r | 1, {B(Z("Spectrum")), W(1024)}, R(), 0x5A5A, {"23130"},
        [g] { return Out(vt_graph_open(g, "Spectrum", 1024)); }),
      C("close", r | 2, {W(kGraph)}, R(), 0, {"0"}, [g] { return Out(vt_graph_close(g, kGraph)); }),
      C("X title", r | 3, {W(kGraph), B(Z("Frequency")), B(Z("Hz"))}, R(), 0, {"0"},
        [g] { return Out(vt_graph_set_x_title(g, kGraph, "Frequency", "Hz")); }),
      C("Y title", r | 4, {W(kGraph), B(Z("Amplitude")), B(Z("dB"))}, R(), 0, {"0"},
        [g] { return Out(vt_graph_set_y_title(g, kGraph, "Amplitude", "dB")); }),
      C("physical ranges", r | 5, {W(kGraph), B(Pack(int32_t{10}, int32_t{512}, -1.5, 3.0))}, R(), 0, {"0"},
        [g] { return Out(vt_graph_set_axis_ranges_phis(g, kGraph, 10, 512, -1.5, 3.0)); }),
      C("user ranges", r | 6, {W(kGraph), B(Pack(0.0, 100.0, -120.0, 20.0))}, R(), 0, {"0"},
        [g] { return Out(vt_graph_set_axis_ranges_user(g, kGraph, 0.0, 100.0, -120.0, 20.0)); }),
      C("show", r | 7, {W(kGraph)}, R(), 0, {"0"}, [g] { return Out(vt_graph_show(g, kGraph)); }),
      C("pump messages", r | 8, {}, R(), 0, {"0"}, [g] { return Out(vt_graph_pump(g)); }),
      C("append data", r | 9, {W(kGraph), W(3), B(Pack(kSamples[0], kSamples[1], kSamples[2]))}, R(), 0,
        {"0"}, [g] { return Out(vt_graph_append(g, kGraph, kSamples, 3)); }),
      C("graph title", r | 10, {W(kGraph), B(Z("Graph 1"))}, R(), 0, {"0"},
        [g] { return Out(vt_graph_set_title(g, kGraph, "Graph 1")); }),
  };
}

TEST(ServiceLayoutTest, GraphServicesOnBothClusters) {
  RunCases(GraphCases(VT_CLUSTER_GRAPH));
  RunCases(GraphCases(VT_CLUSTER_COMBINED));
}

// The panel services: numbers 1 to 9 on their own cluster, 11 to 18 and 21 on
// the combined one, which adds the module window as 19 and 20.
std::vector<Case> PanelCases(uint32_t p, const std::vector<uint32_t>& n) {
  const uint32_t r = p << 8;
  std::string block = Pack(int32_t{105}, int32_t{30}, int32_t{1}, int32_t{50}, int32_t{100}) + "pattern.dat";
  block.resize(532, '\0');
  block += Pack(int32_t{1});
  return {
      C("open status", r | n[0], {}, R(), 0, {"0"}, [p] { return Out(vt_panel_open_status(p)); }),
      C("show status", r | n[1], {B(Z("Busy"))}, R(), 1, {"1"},
        [p] { return Out(vt_panel_show_status(p, "Busy")); }),
      C("open input", r | n[2], {}, R(), 0, {"0"}, [p] { return Out(vt_panel_open_input(p)); }),
      // The amplitude is the result word, the frequency the reply word.
      C("read input", r | n[3], {}, R().Word(40), 77, {"77", "40"},
        [p] { return Out(vt_panel_read_input(p, &o.a)) << o.a; }),
      C("read input while closed", r | n[3], {}, R(), 0, {"0", "-1"},
        [p] { return Out(vt_panel_read_input(p, &o.a)) << o.a; }),
      C("close input", r | n[4], {}, R(), 0, {"0"}, [p] { return Out(vt_panel_close_input(p)); }),
      C("open panel", r | n[5], {}, R(), 0, {"0"}, [p] { return Out(vt_panel_open_panel(p)); }),
      C("read panel", r | n[6], {}, R().Bytes(block), 0,
        {"0", "105", "30", "1", "50", "100", "pattern.dat", "1"},
        [p] {
          const vt_panel_settings& s = o.panel;
          return Out(vt_panel_read_panel(p, &o.panel))
                 << s.adc_mhz << s.dac_mhz << s.pattern_generator << s.pattern_frequency
                 << s.pattern_amplitude << s.pattern_file << s.terminate;
        }),
      C("close panel", r | n[7], {}, R(), 0, {"0"}, [p] { return Out(vt_panel_close_panel(p)); }),
      C("ask yes or no", r | n[8], {B(Z("Caption")), B(Z("Go on?"))}, R(), 1, {"1"},
        [p] { return Out(vt_panel_ask_yes_no(p, "Caption", "Go on?")); }),
  };
}

TEST(ServiceLayoutTest, PanelServicesOnBothClusters) {
  RunCases(PanelCases(VT_CLUSTER_PANEL, {1, 2, 3, 4, 5, 6, 7, 8, 9}));
  RunCases(PanelCases(VT_CLUSTER_COMBINED, {11, 12, 13, 14, 15, 16, 17, 18, 21}));
  RunCases({
      C("open module window", 0x30013, {}, R(), 0, {"0"}, [] { return Out(vt_panel_open_module()); }),
      C("read module window", 0x30014, {}, R().Word(525).Word(10).Word(20).Word(1), 1,
        {"1", "525", "10", "20", "1"},
        [] { return Out(vt_panel_read_module(&o.a, &o.b, &o.c, &o.d)) << o.a << o.b << o.c << o.d; }),
      C("read module window while closed", 0x30014, {}, R(), 0, {"0", "-1", "-1", "-1", "-1"},
        [] { return Out(vt_panel_read_module(&o.a, &o.b, &o.c, &o.d)) << o.a << o.b << o.c << o.d; }),
  });
}

}  // namespace
}  // namespace veltra::test
