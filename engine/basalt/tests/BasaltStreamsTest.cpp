// Streams, console routing, file management and process services of
// cluster 0, driven through the link.
#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>
#include <ctime>
#include <utility>

#include "engine/basalt/tests/BasaltHarness.h"
#include "veltra/ServerError.h"

namespace veltra::test {
namespace {

const std::string kOversize(5000, 'n');

TEST_F(BasaltTest, OpenRefusesArgumentsOutOfRange) {
  Put("data.bin", "x");
  struct Case {
    int type, access, flags, result;
  } cases[] = {{6, 0, 0, 3}, {-1, 0, 0, 3}, {0, 3, 0, 4}, {0, 0, 8, 5}, {0, 0, -1, 5}};
  for (const Case& c : cases) {
    Reply reply = Call(1, Args().S("data.bin").W(c.type).W(c.access).W(c.flags).W(0));
    EXPECT_EQ(reply.Result(), c.result) << c.type << " " << c.access << " " << c.flags;
    EXPECT_EQ(reply.Word(), -1);
  }
  Reply missing = Call(1, Args().S("absent.bin").W(0).W(0).W(0).W(0));
  EXPECT_EQ(missing.Result(), 99);
  EXPECT_EQ(missing.Word(), -1);
  // A refused open takes no handle.
  EXPECT_EQ(Open("data.bin", 0, 0, 0), 0);
}

TEST_F(BasaltTest, TableGrowsByTenAndReusesTheLowestFreeHandle) {
  for (int i = 0; i < 11; ++i) EXPECT_EQ(Open("f" + std::to_string(i), 0, 1, 1), i);
  EXPECT_EQ(Call(11, Args().W(2).W(0)).Result(), 0);
  EXPECT_EQ(Open("again", 0, 1, 1), 2);
  EXPECT_EQ(Open("twelfth", 0, 1, 1), 11);
  Reply name = Call(7, Args().W(2));
  EXPECT_EQ(name.Text(), "again");
}

TEST_F(BasaltTest, BadHandlesGiveEightWithEmptyReplies) {
  int32_t closed = Open("closed", 0, 1, 1);
  ASSERT_EQ(Call(11, Args().W(closed).W(0)).Result(), 0);
  for (int32_t handle : {closed, 17, -1}) {
    SCOPED_TRACE(handle);
    Reply type = Call(5, Args().W(handle));
    EXPECT_EQ(type.Word(), 0);
    EXPECT_EQ(type.Result(), 8);
    Reply status = Call(6, Args().W(handle));
    EXPECT_EQ(status.Size(), 4u);
    EXPECT_EQ(status.Result(), 8);
    Reply name = Call(7, Args().W(handle));
    EXPECT_EQ(name.Text(), "");
    EXPECT_EQ(name.Result(), 8);
    Reply size = Call(8, Args().W(handle));
    EXPECT_EQ(size.Word(), 0);
    EXPECT_EQ(size.Result(), 8);
    Reply shape = Call(9, Args().W(handle));
    EXPECT_EQ(shape.Word(), -1);
    EXPECT_EQ(shape.Word(), -1);
    EXPECT_EQ(shape.Word(), 0);
    EXPECT_EQ(shape.Result(), 8);
    EXPECT_EQ(Call(11, Args().W(handle).W(0)).Result(), 8);
    Reply read = Call(12, Args().W(handle).W(10));
    EXPECT_EQ(read.Text(), "");
    EXPECT_EQ(read.Result(), 8);
    Reply write = Call(13, Args().W(handle).S("abc"));
    EXPECT_EQ(write.Word(), 0);
    EXPECT_EQ(write.Result(), 8);
    EXPECT_EQ(Call(14, Args().W(handle).W(0)).Result(), 8);
    Reply record = Call(15, Args().W(handle).W(0x80000000u).W(10));
    EXPECT_EQ(record.Word(), 0);
    EXPECT_EQ(record.Text(), "");
    EXPECT_EQ(record.Result(), 8);
    Reply written = Call(16, Args().W(handle).W(0xC0000000u).W(3).S("abc"));
    EXPECT_EQ(written.Size(), 4u);
    EXPECT_EQ(written.Result(), 8);
    for (int service : {17, 18, 19}) EXPECT_EQ(Call(service, Args().W(handle)).Result(), 8) << service;
    Reply kind = Call(23, Args().W(handle));
    EXPECT_EQ(kind.Word(), -1);
    EXPECT_EQ(kind.Result(), 8);
  }
}

TEST_F(BasaltTest, ConsoleStreamsNamesKindsAndRouting) {
  std::strcpy(options_.CommandLine, "alpha beta");
  int32_t in = Call(3, Args().W(0)).Word();
  int32_t command = Call(3, Args().W(1)).Word();
  int32_t out = Call(4, Args().W(0)).Word();
  int32_t err = Call(4, Args().W(1)).Word();
  EXPECT_EQ(std::vector<int32_t>({in, command, out, err}), std::vector<int32_t>({0, 1, 2, 3}));
  for (int service : {3, 4}) {
    Reply bad = Call(service, Args().W(2));
    EXPECT_EQ(bad.Word(), -1);
    EXPECT_EQ(bad.Result(), 7);
  }

  const char* names[] = {"stdin", "Command line", "stdout", "stderr"};
  const int kinds[] = {1, 4, 0, 0};
  for (int32_t h = 0; h < 4; ++h) {
    EXPECT_EQ(Call(7, Args().W(h)).Text(), names[h]);
    Reply kind = Call(23, Args().W(h));
    EXPECT_EQ(kind.Word(), kinds[h]) << names[h];
    EXPECT_EQ(Call(5, Args().W(h)).Word(), 1);
  }

  Reply printed = Call(13, Args().W(out).S("hello\n"));
  EXPECT_EQ(printed.Word(), 6);
  EXPECT_EQ(printed.Result(), 0);
  EXPECT_EQ(Call(13, Args().W(err).S("oops\n")).Result(), 0);
  EXPECT_EQ(host_.Out(), "hello\n");
  EXPECT_EQ(host_.Err(), "oops\n");
  Reply refused = Call(13, Args().W(command).S("x"));
  EXPECT_EQ(refused.Word(), 0);
  EXPECT_EQ(refused.Result(), 8);
  // The server's own standard streams are only used the way they go.
  Reply wrongWay = Call(13, Args().W(in).S("x"));
  EXPECT_EQ(wrongWay.Word(), 0);
  EXPECT_EQ(wrongWay.Result(), 99);
  EXPECT_EQ(Call(12, Args().W(out).W(4)).Result(), 99);
  Reply recordRead = Call(15, Args().W(out).W(0x80000000u).W(4));
  EXPECT_EQ(recordRead.Word(), 0);
  EXPECT_EQ(recordRead.Text(), "");
  EXPECT_EQ(recordRead.Result(), 99);
  EXPECT_EQ(Call(16, Args().W(in).W(0x80000000u).W(0).S("x")).Result(), 99);
  EXPECT_FALSE(std::ferror(stdout));
  EXPECT_FALSE(std::ferror(stdin));

  // The command line is read in pieces, its end shown by result 1.
  EXPECT_EQ(Call(8, Args().W(command)).Word(), 10);
  EXPECT_EQ(Call(6, Args().W(command)).Result(), 0);
  Reply first = Call(12, Args().W(command).W(5));
  EXPECT_EQ(first.Text(), "alpha");
  EXPECT_EQ(first.Result(), 0);
  Reply rest = Call(12, Args().W(command).W(100));
  EXPECT_EQ(rest.Text(), " beta");
  EXPECT_EQ(rest.Result(), 1);
  EXPECT_EQ(Call(6, Args().W(command)).Result(), 1);
  EXPECT_EQ(Call(14, Args().W(command).W(0)).Result(), 10);
  Reply shape = Call(9, Args().W(command));
  EXPECT_EQ(shape.Word(), -1);
  EXPECT_EQ(shape.Word(), -1);
  EXPECT_EQ(shape.Result(), 8);
  for (int service : {17, 18, 19}) EXPECT_EQ(Call(service, Args().W(command)).Result(), 10);
  Reply record = Call(15, Args().W(command).W(0x80000000u).W(4));
  EXPECT_EQ(record.Word(), 0);
  EXPECT_EQ(record.Text(), "");
  EXPECT_EQ(record.Result(), 10);

  // Standard input comes a line at a time from the context.
  host_.QueueLine("typed line\n");
  Reply line = Call(12, Args().W(in).W(3));
  EXPECT_EQ(line.Text(), "typed line\n");
  EXPECT_EQ(line.Result(), 0);
  Reply end = Call(12, Args().W(in).W(3));
  EXPECT_EQ(end.Text(), "");
  EXPECT_EQ(end.Result(), 1);
  EXPECT_EQ(Call(6, Args().W(in)).Result(), 1);

  EXPECT_EQ(Call(11, Args().W(command).W(0)).Result(), 0);
  EXPECT_EQ(Call(11, Args().W(out).W(0)).Result(), 0);
  EXPECT_EQ(Call(3, Args().W(1)).Word(), command);
}

TEST_F(BasaltTest, ReadWriteSizeAndPositionOfAFile) {
  int32_t h = Open("plain.bin", 0, 2, 1);
  Reply written = Call(13, Args().W(h).S("0123456789"));
  EXPECT_EQ(written.Word(), 10);
  EXPECT_EQ(written.Result(), 0);
  EXPECT_EQ(Call(14, Args().W(h).W(3)).Result(), 0);
  EXPECT_EQ(Call(6, Args().W(h)).Result(), 0);
  Reply part = Call(12, Args().W(h).W(4));
  EXPECT_EQ(part.Text(), "3456");
  EXPECT_EQ(part.Result(), 0);
  EXPECT_EQ(Call(6, Args().W(h)).Result(), -400);
  EXPECT_EQ(Call(8, Args().W(h)).Word(), 10);
  // The size query leaves the position alone.
  Reply tail = Call(12, Args().W(h).W(100));
  EXPECT_EQ(tail.Text(), "789");
  EXPECT_EQ(tail.Result(), 1);
  EXPECT_EQ(Call(6, Args().W(h)).Result(), 1);
  EXPECT_EQ(Call(14, Args().W(h).W(-5)).Result(), 99);
  EXPECT_LT(Call(6, Args().W(h)).Result(), 0);

  Reply shape = Call(9, Args().W(h));
  EXPECT_EQ(shape.Word(), -1);
  EXPECT_EQ(shape.Word(), -32768);
  EXPECT_EQ(shape.Word(), 0);
  int32_t device = Open("/dev/null", 0, 0, 0);
  Reply deviceShape = Call(9, Args().W(device));
  EXPECT_EQ(deviceShape.Word(), -1);
  EXPECT_EQ(deviceShape.Word(), 255);
  EXPECT_EQ(deviceShape.Word(), 0);
  EXPECT_EQ(Call(12, Args().W(device).W(10)).Result(), 1);
  // A file that cannot be positioned has no size to give.
  ASSERT_EQ(mkfifo("pipe", 0600), 0);
  int32_t pipe = Open("pipe", 0, 2, 0);
  Reply pipeSize = Call(8, Args().W(pipe));
  EXPECT_EQ(pipeSize.Word(), 0);
  EXPECT_EQ(pipeSize.Result(), 99);
  EXPECT_EQ(Call(14, Args().W(pipe).W(0)).Result(), 99);

  int32_t text = Open("text.txt", 1, 1, 1);
  Reply textShape = Call(9, Args().W(text));
  EXPECT_EQ(textShape.Word(), -1);
  EXPECT_EQ(textShape.Word(), 1024);
}

TEST_F(BasaltTest, CloseDispositionsAndTemporaryFiles) {
  int32_t kept = Open("kept.txt", 0, 1, 1);
  Call(13, Args().W(kept).S("kept"));
  EXPECT_EQ(Call(11, Args().W(kept).W(0)).Result(), 0);
  EXPECT_EQ(Contents("kept.txt"), "kept");

  int32_t deleted = Open("deleted.txt", 0, 1, 1);
  EXPECT_EQ(Call(11, Args().W(deleted).W(1)).Result(), 0);
  EXPECT_FALSE(std::filesystem::exists("deleted.txt"));

  // A bad disposition releases the handle and still writes and closes the
  // file, keeping it.
  int32_t odd = Open("odd.txt", 0, 1, 1);
  Call(13, Args().W(odd).S("data"));
  EXPECT_EQ(Call(11, Args().W(odd).W(2)).Result(), 9);
  EXPECT_EQ(Contents("odd.txt"), "data");
  EXPECT_EQ(Call(5, Args().W(odd)).Result(), 8);

  Reply temporary = Call(2, Args().W(0).W(0));
  ASSERT_EQ(temporary.Result(), 0);
  int32_t t = temporary.Word();
  std::string name = Call(7, Args().W(t)).Text();
  EXPECT_TRUE(std::filesystem::exists(name)) << name;
  EXPECT_EQ(Call(23, Args().W(t)).Word(), 3);
  EXPECT_EQ(Call(23, Args().W(Open("kept.txt", 0, 0, 0))).Word(), 2);
  Call(13, Args().W(t).S("scratch"));
  EXPECT_EQ(Call(14, Args().W(t).W(0)).Result(), 0);
  EXPECT_EQ(Call(12, Args().W(t).W(7)).Text(), "scratch");
  EXPECT_EQ(Call(11, Args().W(t).W(0)).Result(), 0);
  EXPECT_FALSE(std::filesystem::exists(name));

  Reply badType = Call(2, Args().W(6).W(0));
  EXPECT_EQ(badType.Word(), -1);
  EXPECT_EQ(badType.Result(), 3);
}

TEST_F(BasaltTest, EndOfRunClosesStreamsAndKeepsTemporaryFiles) {
  int32_t h = Open("lines.txt", 1, 1, 1);
  // A record left unfinished is completed when the run ends.
  EXPECT_EQ(Call(16, Args().W(h).W(0x80000000u).W(0).S("unfinished")).Result(), 0);
  int32_t t = Call(2, Args().W(0).W(0)).Word();
  std::string name = Call(7, Args().W(t)).Text();
  Call(13, Args().W(t).S("left"));
  Call(4, Args().W(0));
  EndRun();
  EXPECT_EQ(Contents("lines.txt"), "unfinished\n\x1a");
  EXPECT_EQ(Contents(name), "left");
  std::filesystem::remove(name);
  // The process's own standard output is not closed with its stream.
  EXPECT_NE(fcntl(fileno(stdout), F_GETFD), -1);
  EXPECT_EQ(std::fflush(stdout), 0);
}

TEST_F(BasaltTest, FileManagementServices) {
  Put("here.txt", "x");
  Reply exists = Call(21, Args().S("here.txt"));
  EXPECT_EQ(exists.Word(), 0);
  EXPECT_EQ(exists.Result(), 0);
  Reply absent = Call(21, Args().S("gone.txt"));
  EXPECT_EQ(absent.Word(), 0);
  EXPECT_EQ(absent.Result(), 101);
  EXPECT_EQ(Call(22, Args().S("here.txt")).Result(), 0);
  EXPECT_EQ(Call(22, Args().S("gone.txt")).Result(), 99);

  EXPECT_EQ(Call(27, Args().S("here.txt").S("there.txt")).Result(), 0);
  EXPECT_EQ(Contents("there.txt"), "x");
  EXPECT_EQ(Call(27, Args().S("here.txt").S("other.txt")).Result(), 99);

  EXPECT_EQ(Call(26, Args().S("echo ran > ran.txt")).Result(), 0);
  EXPECT_EQ(Contents("ran.txt"), "ran\n");
  // The command's own exit status, not the wait status that holds it.
  EXPECT_EQ(Call(26, Args().S("exit 3")).Result(), 3);
  EXPECT_EQ(Call(26, Args().S("kill -9 $$")).Result(), 128 + 9);
}

TEST_F(BasaltTest, TaskCounterEndsTheRunOnTheLastExit) {
  EXPECT_EQ(Call(38, Args().W(2)).Result(), 0);
  Reply first = Call(24, Args().W(0));
  EXPECT_TRUE(first.Present());
  EXPECT_EQ(first.Size(), 4u);
  EXPECT_EQ(first.Result(), 0);
  EXPECT_TRUE(served_);
  Reply second = Call(24, Args().W(0));
  EXPECT_EQ(second.Result(), 0);
  EXPECT_FALSE(served_);

  // Without a count the first exit ends the run; a non-zero word silences
  // the reply, and a request that asked for none gets none.
  Reply silent = Call(24, Args().W(1));
  EXPECT_FALSE(silent.Present());
  EXPECT_FALSE(served_);
  Reply unasked = Call(24, Args().W(0), true);
  EXPECT_FALSE(unasked.Present());
}

// Files may carry the console streams' names; the kind follows the name.
TEST_F(BasaltTest, FilesNamedLikeConsoleStreamsTellTheirKind) {
  const std::pair<const char*, int> cases[] = {{"stdin", 1}, {"stdout", 0}, {"stderr", 0}, {"stdin.txt", 2}};
  for (const auto& [name, kind] : cases) {
    int32_t h = Open(name, 0, 1, 1);
    EXPECT_EQ(Call(23, Args().W(h)).Word(), kind) << name;
  }
}

TEST_F(BasaltTest, ProcessServices) {
  EXPECT_EQ(Call(25, Args().W(42)).Result(), 0);
  EXPECT_EQ(context_->ExitStatus(), 42);

  uint32_t before = static_cast<uint32_t>(std::time(nullptr));
  Reply time = Call(28);
  uint32_t now = static_cast<uint32_t>(time.Word());
  EXPECT_GE(now, before);
  EXPECT_LE(now, before + 5);

  setenv("BASALT_TEST_VALUE", "forty two", 1);
  Reply value = Call(35, Args().S("BASALT_TEST_VALUE"));
  EXPECT_EQ(value.Text(), "forty two");
  EXPECT_EQ(value.Result(), 0);
  unsetenv("BASALT_TEST_VALUE");
  Reply missing = Call(35, Args().S("BASALT_TEST_VALUE"));
  EXPECT_EQ(missing.Text(), "");
  EXPECT_EQ(missing.Result(), 99);

  EXPECT_EQ(Call(39, Args().S("Input please")).Result(), 0);
  EXPECT_EQ(host_.InputTitle(), "Input please");

  for (int service : {29, 32, 33}) {
    Reply refused = Call(service);
    EXPECT_EQ(refused.Size(), 4u);
    EXPECT_EQ(refused.Result(), 99);
  }
  Reply word = Call(34, Args().W(5));
  EXPECT_EQ(word.Word(), 0);
  EXPECT_EQ(word.Result(), 99);
  Reply port = Call(36, Args().W(0x300));
  EXPECT_EQ(port.Word(), 0);
  EXPECT_EQ(port.Result(), 99);
  Reply portOut = Call(37, Args().W(0x300).W(1));
  EXPECT_EQ(portOut.Size(), 4u);
  EXPECT_EQ(portOut.Result(), 99);

  // The server's own memory is not open to the application.
  Reply peek = Call(30, Args().W(0x1000).W(16));
  EXPECT_EQ(peek.Text(), "");
  EXPECT_EQ(peek.Result(), 99);
  Reply poke = Call(31, Args().W(0x1000).S("abcd"));
  EXPECT_EQ(poke.Word(), 0);
  EXPECT_EQ(poke.WordsLeft(), 0u);
  EXPECT_EQ(poke.Result(), 99);

  EXPECT_EQ(Call(0).Result(), 0);
}

TEST_F(BasaltTest, AbsentServicesEndTheRun) {
  for (int service : {10, 20, 40}) {
    try {
      Call(service);
      ADD_FAILURE() << "service " << service << " was served";
    } catch (const no_service& error) {
      EXPECT_EQ(std::string(error.what()), "Basalt Cluster has no service number " + std::to_string(service));
    }
  }
}

// Every byte string longer than the 4096-byte buffers is refused, the rest
// of the request is skipped, and the next request is served normally.
TEST_F(BasaltTest, OversizeStringsAndCountsAreRefused) {
  setenv("BASALT_TEST_LONG", std::string(5000, 'v').c_str(), 1);
  Reply longValue = Call(35, Args().S("BASALT_TEST_LONG"));
  EXPECT_EQ(longValue.Text(), "");
  EXPECT_EQ(longValue.Result(), 99);
  unsetenv("BASALT_TEST_LONG");

  Reply open = Call(1, Args().S(kOversize).W(0).W(1).W(1).W(0));
  EXPECT_EQ(open.Word(), -1);
  EXPECT_EQ(open.Result(), 99);
  Reply exists = Call(21, Args().S(kOversize));
  EXPECT_EQ(exists.Word(), 0);
  EXPECT_EQ(exists.Result(), 99);
  EXPECT_EQ(Call(22, Args().S(kOversize)).Result(), 99);
  EXPECT_EQ(Call(26, Args().S("touch ran.txt; #" + kOversize)).Result(), 99);
  EXPECT_FALSE(std::filesystem::exists("ran.txt"));
  Put("old.txt", "x");
  EXPECT_EQ(Call(27, Args().S("old.txt").S(kOversize)).Result(), 99);
  EXPECT_EQ(Call(27, Args().S(kOversize).S("new.txt")).Result(), 99);
  EXPECT_TRUE(std::filesystem::exists("old.txt"));
  EXPECT_EQ(Call(35, Args().S(kOversize)).Result(), 99);
  EXPECT_EQ(Call(39, Args().S(kOversize)).Result(), 99);
  EXPECT_EQ(host_.InputTitle(), "");
  Reply poke = Call(31, Args().W(0).S(kOversize));
  EXPECT_EQ(poke.Word(), 0);
  EXPECT_EQ(poke.Result(), 99);

  int32_t h = Open("data.bin", 0, 2, 1);
  Reply write = Call(13, Args().W(h).S(kOversize));
  EXPECT_EQ(write.Word(), 0);
  EXPECT_EQ(write.Result(), 6);
  EXPECT_EQ(Call(16, Args().W(h).W(0xC0000000u).W(5000).S(kOversize)).Result(), 6);
  EXPECT_EQ(Contents("data.bin"), "");
  int32_t out = Call(4, Args().W(0)).Word();
  EXPECT_EQ(Call(13, Args().W(out).S(kOversize)).Result(), 6);
  EXPECT_EQ(host_.All(), "");

  Call(13, Args().W(h).S("abc"));
  Call(14, Args().W(h).W(0));
  for (uint32_t count : {4097u, 0xFFFFFFFFu, 0x80000000u}) {
    Reply read = Call(12, Args().W(h).W(count));
    EXPECT_EQ(read.Text(), "");
    EXPECT_EQ(read.Result(), 6) << count;
  }
  EXPECT_EQ(Call(12, Args().W(h).W(4096)).Text(), "abc");
  std::strcpy(options_.CommandLine, "args");
  int32_t command = Call(3, Args().W(1)).Word();
  EXPECT_EQ(Call(12, Args().W(command).W(0xFFFFFFFFu)).Result(), 6);
  EXPECT_EQ(Call(12, Args().W(command).W(4)).Text(), "args");
}

}  // namespace
}  // namespace veltra::test
