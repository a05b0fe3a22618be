// The record formats of services 15 to 19 and positioning at the end on
// opening, compared byte for byte with the files they leave.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>

#include "engine/basalt/tests/BasaltHarness.h"

namespace veltra::test {
namespace {

constexpr uint32_t kBegin = 0x80000000u;
constexpr uint32_t kEnd = 0x40000000u;
constexpr uint32_t kWhole = kBegin | kEnd;
constexpr uint32_t kNoNewline = 0x20000000u;

class BasaltRecordsTest : public BasaltTest {
 protected:
  struct Record {
    int32_t lengthWord;
    std::string data;
    int32_t result;
  };
  Record ReadRecord(int32_t h, uint32_t control, uint32_t count) {
    Reply reply = Call(15, Args().W(h).W(control).W(count));
    Record record;
    record.lengthWord = reply.Word();
    record.data = reply.Text();
    record.result = reply.Result();
    return record;
  }
  int32_t WriteRecord(int32_t h, uint32_t control, int32_t length, const std::string& data) {
    return Call(16, Args().W(h).W(control).W(length).S(data)).Result();
  }
};

TEST_F(BasaltRecordsTest, TypeTwoRecordOfUnknownLength) {
  int32_t h = Open("records.bin", 2, 2, 1);
  EXPECT_EQ(WriteRecord(h, kWhole, -1, "0123456789"), 0);
  EXPECT_EQ(Contents("records.bin"), W(10) + "0123456789" + W(10) + W(-1));
  // The next record overwrites the end mark; a length given and not kept
  // to is corrected in the header.
  EXPECT_EQ(WriteRecord(h, kBegin, 8, "ab"), 0);
  EXPECT_EQ(WriteRecord(h, kEnd, 0, "c"), 0);
  const std::string both = W(10) + "0123456789" + W(10) + W(3) + "abc" + W(3);
  EXPECT_EQ(Contents("records.bin"), both + W(-1));

  EXPECT_EQ(Call(18, Args().W(h)).Result(), 0);
  Record first = ReadRecord(h, kBegin, 4);
  EXPECT_EQ(first.lengthWord, 10);
  EXPECT_EQ(first.data, "0123");
  Record more = ReadRecord(h, 0, 4);
  EXPECT_EQ(more.lengthWord, 0);
  EXPECT_EQ(more.data, "4567");
  // A new record skips what is left of the current one.
  Record second = ReadRecord(h, kBegin, 100);
  EXPECT_EQ(second.lengthWord, 3);
  EXPECT_EQ(second.data, "abc");
  EXPECT_EQ(second.result, 0);
  for (int i = 0; i < 2; ++i) {
    Record end = ReadRecord(h, kBegin, 100);
    EXPECT_EQ(end.lengthWord, -1);
    EXPECT_EQ(end.data, "");
    EXPECT_EQ(end.result, 1);
  }
  // The stream stayed before the mark: the next record replaces it.
  EXPECT_EQ(WriteRecord(h, kWhole, 2, "xy"), 0);
  EXPECT_EQ(Contents("records.bin"), both + W(2) + "xy" + W(2) + W(-1));

  // Backspace steps over whole records.
  EXPECT_EQ(Call(17, Args().W(h)).Result(), 0);
  EXPECT_EQ(ReadRecord(h, kWhole, 100).data, "xy");
  EXPECT_EQ(Call(17, Args().W(h)).Result(), 0);
  EXPECT_EQ(Call(17, Args().W(h)).Result(), 0);
  EXPECT_EQ(ReadRecord(h, kWhole, 100).data, "abc");
  EXPECT_EQ(Call(18, Args().W(h)).Result(), 0);
  EXPECT_EQ(Call(17, Args().W(h)).Result(), 99);
  EXPECT_EQ(ReadRecord(h, kWhole, 100).data, "0123456789");

  // End file writes the mark and stands after it.
  EXPECT_EQ(Call(19, Args().W(h)).Result(), 0);
  EXPECT_EQ(Call(11, Args().W(h).W(0)).Result(), 0);
  EXPECT_EQ(Contents("records.bin"),
            W(10) + "0123456789" + W(10) + W(-1) + "abc" + W(3) + W(2) + "xy" + W(2) + W(-1));
}

TEST_F(BasaltRecordsTest, TypeTwoLengthsThatAreNotRecordsAreRefused) {
  const std::string good = W(2) + "ok" + W(2);
  Put("negative.bin", good + W(-7) + "abcdefgh" + W(-7));
  int32_t h = Open("negative.bin", 2, 0, 0);
  EXPECT_EQ(ReadRecord(h, kWhole, 100).data, "ok");
  for (int i = 0; i < 2; ++i) {
    Record bad = ReadRecord(h, kBegin, 100);
    EXPECT_EQ(bad.result, 99);
    EXPECT_EQ(bad.data, "");
  }
  // Backspace from the end meets the negative trailer and stays put.
  Call(14, Args().W(h).W(static_cast<int32_t>(Contents("negative.bin").size())));
  EXPECT_EQ(Call(17, Args().W(h)).Result(), 99);
  EXPECT_EQ(Call(17, Args().W(h)).Result(), 99);

  for (int32_t huge : {1000, 0x7FFFFFFF}) {
    Put("huge.bin", good + W(huge) + "abcd" + W(huge));
    int32_t g = Open("huge.bin", 2, 0, 0);
    EXPECT_EQ(ReadRecord(g, kWhole, 100).data, "ok");
    EXPECT_EQ(ReadRecord(g, kWhole, 4096).result, 99);
    Call(14, Args().W(g).W(static_cast<int32_t>(Contents("huge.bin").size())));
    EXPECT_EQ(Call(17, Args().W(g)).Result(), 99);
    // Positioning at the end stops before the bad record.
    Reply append = Call(1, Args().S("huge.bin").W(2).W(2).W(2).W(0));
    int32_t a = append.Word();
    EXPECT_EQ(append.Result(), 99);
    ASSERT_GE(a, 0);
    EXPECT_EQ(WriteRecord(a, kWhole, 1, "z"), 0);
    EXPECT_EQ(Call(11, Args().W(a).W(0)).Result(), 0);
    EXPECT_EQ(Contents("huge.bin").substr(0, good.size() + 9), good + W(1) + "z" + W(1));
  }

  int32_t binary = Open("binary.bin", 2, 2, 1);
  EXPECT_EQ(ReadRecord(binary, kBegin, 4097).result, 6);
  Record empty = ReadRecord(binary, kBegin, 100);
  EXPECT_EQ(empty.lengthWord, -1);
  EXPECT_EQ(empty.result, 1);
}

TEST_F(BasaltRecordsTest, TypeOneLinesReadInPieces) {
  std::string longLine(1500, 'q');
  Put("lines.txt", "abc\ndos\r\n" + longLine +
                       "\n\x1a"
                       "after\n");
  int32_t h = Open("lines.txt", 1, 0, 0);
  Record ab = ReadRecord(h, kBegin, 2);
  EXPECT_EQ(ab.lengthWord, 3);
  EXPECT_EQ(ab.data, "ab");
  Record c = ReadRecord(h, 0, 2);
  EXPECT_EQ(c.lengthWord, 0);
  EXPECT_EQ(c.data, "c");
  EXPECT_EQ(ReadRecord(h, 0, 2).data, "");
  EXPECT_EQ(ReadRecord(h, kBegin, 100).data, "dos");
  // Lines longer than the line buffer come as two records, nothing lost.
  Record head = ReadRecord(h, kBegin, 5000);
  EXPECT_EQ(head.lengthWord, 1024);
  EXPECT_EQ(head.data, longLine.substr(0, 1024));
  EXPECT_EQ(ReadRecord(h, kBegin, 5000).data, longLine.substr(1024));
  Record mark = ReadRecord(h, kBegin, 100);
  EXPECT_EQ(mark.lengthWord, 0);
  EXPECT_EQ(mark.result, 1);
  EXPECT_EQ(Call(6, Args().W(h)).Result(), 1);

  // After a rewind no record is current until one is begun.
  EXPECT_EQ(Call(18, Args().W(h)).Result(), 0);
  EXPECT_EQ(ReadRecord(h, 0, 100).data, "");
  EXPECT_EQ(ReadRecord(h, kBegin, 100).data, "abc");

  int32_t w = Open("written.txt", 1, 1, 1);
  EXPECT_EQ(WriteRecord(w, kBegin, 0, "hel"), 0);
  EXPECT_EQ(WriteRecord(w, 0, 0, "lo"), 0);
  EXPECT_EQ(WriteRecord(w, kBegin | kNoNewline, 0, "pro"), 0);
  EXPECT_EQ(WriteRecord(w, kBegin | kEnd, 0, "mpt"), 0);
  EXPECT_EQ(Contents("written.txt"), "hello\nprompt\n\x1a");
  EXPECT_EQ(WriteRecord(w, kWhole, 0, "next"), 0);
  EXPECT_EQ(Call(11, Args().W(w).W(0)).Result(), 0);
  EXPECT_EQ(Contents("written.txt"), "hello\nprompt\nnext\n\x1a");
}

TEST_F(BasaltRecordsTest, TypeThreeLinesAndBackspace) {
  int32_t h = Open("crlf.txt", 3, 2, 1);
  for (const char* line : {"one", "two", "three"}) EXPECT_EQ(WriteRecord(h, kWhole, 0, line), 0);
  EXPECT_EQ(Contents("crlf.txt"), "one\r\ntwo\r\nthree\r\n\x1a");
  EXPECT_EQ(Call(18, Args().W(h)).Result(), 0);
  EXPECT_EQ(ReadRecord(h, kBegin, 100).data, "one");
  EXPECT_EQ(ReadRecord(h, kBegin, 100).data, "two");
  Record three = ReadRecord(h, kBegin, 100);
  EXPECT_EQ(three.data, "three");
  EXPECT_EQ(three.lengthWord, 5);
  EXPECT_EQ(Call(17, Args().W(h)).Result(), 0);
  EXPECT_EQ(ReadRecord(h, kBegin, 100).data, "three");
  EXPECT_EQ(Call(17, Args().W(h)).Result(), 0);
  EXPECT_EQ(Call(17, Args().W(h)).Result(), 0);
  EXPECT_EQ(ReadRecord(h, kBegin, 100).data, "two");
  // Stepping back over the first line rewinds.
  EXPECT_EQ(Call(17, Args().W(h)).Result(), 0);
  EXPECT_EQ(Call(17, Args().W(h)).Result(), 0);
  EXPECT_EQ(ReadRecord(h, kBegin, 100).data, "one");
  EXPECT_EQ(Call(18, Args().W(h)).Result(), 0);
  EXPECT_EQ(Call(17, Args().W(h)).Result(), 99);
  EXPECT_EQ(ReadRecord(h, kBegin, 100).data, "one");

  int32_t other = Open("plain.bin", 0, 2, 1);
  EXPECT_EQ(Call(17, Args().W(other)).Result(), 99);
}

// Absolute positioning while a record is being written or read: the record
// is completed, or left as a whole, where it stands, never at the new offset.
TEST_F(BasaltRecordsTest, PositioningCompletesTheRecordInHand) {
  int32_t lines = Open("lines.txt", 1, 2, 1);
  EXPECT_EQ(WriteRecord(lines, kBegin, 0, "first line"), 0);
  EXPECT_EQ(WriteRecord(lines, kBegin, 0, "second"), 0);
  EXPECT_EQ(Call(14, Args().W(lines).W(0)).Result(), 0);
  EXPECT_EQ(ReadRecord(lines, kBegin, 100).data, "first line");
  EXPECT_EQ(ReadRecord(lines, kBegin, 100).data, "second");
  EXPECT_EQ(Contents("lines.txt"), "first line\nsecond\n\x1a");

  int32_t records = Open("records.bin", 2, 2, 1);
  EXPECT_EQ(WriteRecord(records, kBegin, 4, "AAAA"), 0);
  EXPECT_EQ(WriteRecord(records, kBegin, -1, "BBBB"), 0);
  EXPECT_EQ(Call(14, Args().W(records).W(0)).Result(), 0);
  Record half = ReadRecord(records, kBegin, 2);
  EXPECT_EQ(half.data, "AA");
  EXPECT_EQ(Call(14, Args().W(records).W(0)).Result(), 0);
  EXPECT_EQ(ReadRecord(records, kBegin, 100).data, "AAAA");
  Record second = ReadRecord(records, kBegin, 100);
  EXPECT_EQ(second.data, "BBBB");
  EXPECT_EQ(second.result, 0);
  EXPECT_EQ(Contents("records.bin"), W(4) + "AAAA" + W(4) + W(4) + "BBBB" + W(4) + W(-1));
}

// A line as long as the record length comes back as one record, its line
// end included, for both line ends.
TEST_F(BasaltRecordsTest, LineOfExactlyTheRecordLength) {
  std::string full(1024, 'L');
  for (int type : {1, 3}) {
    SCOPED_TRACE(type);
    std::string name = "full" + std::to_string(type) + ".txt";
    int32_t h = Open(name, type, 2, 1);
    EXPECT_EQ(WriteRecord(h, kWhole, 0, full), 0);
    EXPECT_EQ(WriteRecord(h, kWhole, 0, "next"), 0);
    EXPECT_EQ(Call(18, Args().W(h)).Result(), 0);
    Record first = ReadRecord(h, kBegin, 2000);
    EXPECT_EQ(first.lengthWord, 1024);
    EXPECT_EQ(first.data, full);
    EXPECT_EQ(ReadRecord(h, kBegin, 100).data, "next");
    EXPECT_EQ(ReadRecord(h, kBegin, 100).result, 1);
  }
  // Without a line end after it, what follows is still its own record.
  Put("cut.txt", std::string(1024, 'c') + "\rtail\n");
  int32_t cut = Open("cut.txt", 3, 0, 0);
  EXPECT_EQ(ReadRecord(cut, kBegin, 2000).data, std::string(1024, 'c'));
  EXPECT_EQ(ReadRecord(cut, kBegin, 100).data, "\rtail");
}

// Plain writes to a text file may still sit in the C library's buffer when
// a backspace asks for the file's size.
TEST_F(BasaltRecordsTest, TypeThreeBackspaceAfterPlainWrites) {
  int32_t h = Open("plain.txt", 3, 2, 1);
  EXPECT_EQ(Call(13, Args().W(h).S("one\r\ntwo\r\n")).Result(), 0);
  EXPECT_EQ(Call(17, Args().W(h)).Result(), 0);
  EXPECT_EQ(ReadRecord(h, kBegin, 100).data, "two");
}

// The status follows every transfer: a write after the end of the file was
// met is no longer at the end.
TEST_F(BasaltRecordsTest, StatusFollowsWritesToo) {
  Put("data.bin", "abc");
  int32_t h = Open("data.bin", 0, 2, 0);
  EXPECT_EQ(Call(12, Args().W(h).W(10)).Result(), 1);
  EXPECT_EQ(Call(6, Args().W(h)).Result(), 1);
  EXPECT_EQ(Call(13, Args().W(h).S("de")).Result(), 0);
  EXPECT_EQ(Call(6, Args().W(h)).Result(), -400);
  EXPECT_EQ(WriteRecord(h, kWhole, 2, "fg"), 0);
  EXPECT_EQ(Call(6, Args().W(h)).Result(), -400);
  EXPECT_EQ(Call(11, Args().W(h).W(0)).Result(), 0);
  EXPECT_EQ(Contents("data.bin"), "abcdefg");
}

TEST_F(BasaltRecordsTest, FixedLengthRecordsByNumber) {
  for (int type : {4, 5}) {
    SCOPED_TRACE(type);
    std::string name = "fixed" + std::to_string(type);
    int32_t h = Open(name, type, 2, 1, 4);
    EXPECT_EQ(WriteRecord(h, kWhole | 3, 4, "CCCC"), 0);
    EXPECT_EQ(WriteRecord(h, kWhole | 1, 4, "AAAA"), 0);
    Record third = ReadRecord(h, kBegin | 3, 100);
    EXPECT_EQ(third.lengthWord, 4);
    EXPECT_EQ(third.data, "CCCC");
    EXPECT_EQ(Contents(name), std::string("AAAA\0\0\0\0CCCC", 12));
    Record head = ReadRecord(h, kBegin | 1, 3);
    EXPECT_EQ(head.data, "AAA");
    Record tail = ReadRecord(h, 0, 100);
    EXPECT_EQ(tail.lengthWord, 4);
    EXPECT_EQ(tail.data, "A");
    Reply shape = Call(9, Args().W(h));
    EXPECT_EQ(shape.Word(), 4);
    EXPECT_EQ(shape.Word(), 4);
    EXPECT_EQ(shape.Word(), 4);

    // Record 0 would seek before the file.
    Record zero = ReadRecord(h, kBegin, 100);
    EXPECT_EQ(zero.data, "");
    EXPECT_EQ(zero.result, 99);
    EXPECT_EQ(WriteRecord(h, kWhole, 4, "ZZZZ"), 99);
    EXPECT_EQ(Contents(name), std::string("AAAA\0\0\0\0CCCC", 12));
    EXPECT_EQ(ReadRecord(h, kBegin | 2, 4097).result, 6);

    // A record that cannot be reached is a failure, not an empty record.
    int32_t negative = Open(name, type, 0, 0, -4);
    Record unreachable = ReadRecord(negative, kBegin | 2, 4);
    EXPECT_EQ(unreachable.data, "");
    EXPECT_EQ(unreachable.result, 99);
  }
}

TEST_F(BasaltRecordsTest, TypeZeroTransfersOnePerRecord) {
  Put("raw.bin", "abcdefgh");
  int32_t h = Open("raw.bin", 0, 0, 0);
  Record first = ReadRecord(h, kBegin, 3);
  EXPECT_EQ(first.lengthWord, 3);
  EXPECT_EQ(first.data, "abc");
  Record none = ReadRecord(h, 0, 3);
  EXPECT_EQ(none.lengthWord, 0);
  EXPECT_EQ(none.data, "");
  Record rest = ReadRecord(h, kBegin, 100);
  EXPECT_EQ(rest.data, "defgh");
  EXPECT_EQ(rest.result, 1);
  EXPECT_EQ(ReadRecord(h, kBegin, 4097).result, 6);
}

TEST_F(BasaltRecordsTest, AppendOnOpening) {
  Put("log.rec", W(1) + "a" + W(1) + W(2) + "bc" + W(2) + W(-1));
  Reply opened = Call(1, Args().S("log.rec").W(2).W(2).W(2).W(0));
  EXPECT_EQ(opened.Result(), 0);
  int32_t h = opened.Word();
  EXPECT_EQ(WriteRecord(h, kWhole, 1, "d"), 0);
  EXPECT_EQ(Call(11, Args().W(h).W(0)).Result(), 0);
  EXPECT_EQ(Contents("log.rec"), W(1) + "a" + W(1) + W(2) + "bc" + W(2) + W(1) + "d" + W(1) + W(-1));

  // Without an end mark the scan stops at the end of the file.
  Put("open.rec", W(1) + "a" + W(1));
  int32_t g = Open("open.rec", 2, 2, 2);
  EXPECT_EQ(WriteRecord(g, kWhole, 1, "b"), 0);
  EXPECT_EQ(Call(11, Args().W(g).W(0)).Result(), 0);
  EXPECT_EQ(Contents("open.rec"), W(1) + "a" + W(1) + W(1) + "b" + W(1) + W(-1));

  // Text lines are appended before the end mark, where reading finds them.
  Put("log.txt", "first\n\x1a");
  int32_t t = Open("log.txt", 1, 2, 2);
  EXPECT_EQ(WriteRecord(t, kWhole, 0, "second"), 0);
  EXPECT_EQ(Call(11, Args().W(t).W(0)).Result(), 0);
  EXPECT_EQ(Contents("log.txt"), "first\nsecond\n\x1a");

  Put("raw.bin", "xyz");
  int32_t r = Open("raw.bin", 0, 1, 2);
  Call(13, Args().W(r).S("!"));
  EXPECT_EQ(Call(11, Args().W(r).W(0)).Result(), 0);
  EXPECT_EQ(Contents("raw.bin"), "xyz!");
}

// Files with a hole of 16 GiB, as an application makes them by positioning
// far out and writing: finding the end of the records for appending, and
// stepping back over a line across the hole, must not read the hole, or one
// request would hold the server for hours.
TEST_F(BasaltRecordsTest, SparseFilesAreNotReadThroughTheirHoles) {
  constexpr off_t kHole = off_t{1} << 34;
  {
    Put("probe.bin", "x");
    ASSERT_EQ(truncate("probe.bin", kHole), 0);
    int fd = open("probe.bin", O_RDONLY);
    off_t hole = lseek(fd, 0, SEEK_HOLE);
    close(fd);
    if (hole < 0 || hole >= kHole) GTEST_SKIP() << "this file system keeps no holes";
  }
  auto start = std::chrono::steady_clock::now();

  // One record, then zero bytes to the end: records of no length, eight
  // bytes each, the last one ending with the file.
  off_t size = 11 + kHole;
  Put("records.bin", W(3) + "abc" + W(3));
  ASSERT_EQ(truncate("records.bin", size), 0);
  Reply opened = Call(1, Args().S("records.bin").W(2).W(2).W(2).W(0));
  ASSERT_EQ(opened.Result(), 0);
  int32_t h = opened.Word();
  EXPECT_EQ(WriteRecord(h, kWhole, 1, "d"), 0);
  EXPECT_EQ(Call(11, Args().W(h).W(0)).Result(), 0);
  ASSERT_EQ(std::filesystem::file_size("records.bin"), static_cast<uintmax_t>(size) + 13);
  std::ifstream in("records.bin", std::ios::binary);
  in.seekg(size);
  std::string tail(13, '?');
  in.read(tail.data(), 13);
  EXPECT_EQ(tail, W(1) + "d" + W(1) + W(-1));

  Put("lines.txt", "first\nsecond\n");
  ASSERT_EQ(truncate("lines.txt", kHole), 0);
  int32_t t = Open("lines.txt", 3, 2, 2);
  EXPECT_EQ(Call(17, Args().W(t)).Result(), 0);
  EXPECT_EQ(Call(17, Args().W(t)).Result(), 0);
  EXPECT_EQ(ReadRecord(t, kBegin, 100).data, "second");

  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

}  // namespace
}  // namespace veltra::test
