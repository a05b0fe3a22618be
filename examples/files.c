/* Writes and reads back host files of every record type through the Basalt
 * services and checks every byte. Prints "ok <what>" per check; the first
 * mismatch prints "FAIL <what>" and ends with status 1. The files are removed
 * at the end unless --keep is given. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "veltra_target.h"

static const char* const kNames[] = {
    "files_type0.dat", "files_type1.txt", "files_type2.dat", "files_type3.txt", "files_type4.dat",
    "files_type5.dat", "files_old.dat",   "files_new.dat",   "files_gone.dat",
};

static int keep;

static void Cleanup(void) {
  if (keep) return;
  for (size_t i = 0; i < sizeof kNames / sizeof kNames[0]; ++i)
    if (vt_fexists(kNames[i])) vt_fremove(kNames[i]);
}

static void Fail(const char* what, const char* detail, long got, long wanted) {
  vt_printf("FAIL %s\n", what);
  vt_eprintf("files: %s: %s: %ld, expected %ld\n", what, detail, got, wanted);
  Cleanup();
  vt_exit(1);
}

static void Ok(const char* what) {
  vt_printf("ok %s\n", what);
}

static void Expect(const char* what, const char* detail, long got, long expected) {
  if (got != expected) Fail(what, detail, got, expected);
}

static void ExpectBytes(const char* what, const void* got, const void* expected, size_t n) {
  const uint8_t* g = got;
  const uint8_t* e = expected;
  for (size_t i = 0; i < n; ++i) {
    if (g[i] != e[i]) {
      vt_eprintf("files: %s: byte %lu differs\n", what, (unsigned long)i);
      Fail(what, "byte value", g[i], e[i]);
    }
  }
}

static void Pattern(uint8_t* data, size_t n, unsigned seed) {
  for (size_t i = 0; i < n; ++i) data[i] = (uint8_t)(i * 7u + seed * 13u + (i >> 8));
}

static vt_file* Open(const char* what, const char* name, int32_t type, int32_t access, uint32_t flags,
                     int32_t length) {
  vt_file* file = vt_fopen(name, type, access, flags, length);
  if (file == NULL) Fail(what, "open refused with result", (long)vt_last_result(), 0);
  return file;
}

static void Close(const char* what, vt_file* file) {
  Expect(what, "close result", vt_fclose(file), VT_OK);
}

/* Reads a whole file as unstructured bytes; returns its size. */
static size_t ReadRaw(const char* what, const char* name, uint8_t* buffer, size_t capacity) {
  vt_file* file = Open(what, name, VT_REC_BINARY, VT_READ, 0, 0);
  uint32_t size = 0;
  Expect(what, "size result", vt_fsize(file, &size), VT_OK);
  if (size > capacity) Fail(what, "file larger than expected", (long)size, (long)capacity);
  size_t got = 0;
  Expect(what, "read result", vt_fread(file, buffer, size, &got), VT_OK);
  Expect(what, "bytes read", (long)got, (long)size);
  Close(what, file);
  return size;
}

static void ExpectRecord(const char* what, vt_file* file, const void* expected, size_t n) {
  static uint8_t buffer[8192];
  int32_t length = -2;
  size_t got = 0;
  Expect(what, "record read result", vt_fread_record(file, buffer, sizeof buffer, &length, &got), VT_OK);
  Expect(what, "record length", length, (long)n);
  Expect(what, "record bytes", (long)got, (long)n);
  ExpectBytes(what, buffer, expected, n);
}

static void ExpectEnd(const char* what, vt_file* file) {
  uint8_t buffer[16];
  int32_t length;
  size_t got = 0;
  Expect(what, "end of file result", vt_fread_record(file, buffer, sizeof buffer, &length, &got), VT_EOF);
  Expect(what, "bytes at end of file", (long)got, 0);
}

static size_t PutWord(uint8_t* at, uint32_t value) {
  at[0] = (uint8_t)value;
  at[1] = (uint8_t)(value >> 8);
  at[2] = (uint8_t)(value >> 16);
  at[3] = (uint8_t)(value >> 24);
  return 4;
}

static uint8_t raw[32768];
static uint8_t expected[32768];

static void Type0(void) {
  static uint8_t data[10000];
  Pattern(data, sizeof data, 0);
  vt_file* file = Open("type 0 write", kNames[0], VT_REC_BINARY, VT_WRITE, VT_CREATE, 0);
  Expect("type 0 write", "write result", vt_fwrite(file, data, sizeof data), VT_OK);
  Close("type 0 write", file);
  Ok("type 0 write");

  file = Open("type 0 read", kNames[0], VT_REC_BINARY, VT_READ, 0, 0);
  uint32_t size = 0;
  Expect("type 0 size", "size result", vt_fsize(file, &size), VT_OK);
  Expect("type 0 size", "size", (long)size, (long)sizeof data);
  Ok("type 0 size");
  static uint8_t back[10000];
  size_t got = 0;
  Expect("type 0 read", "read result", vt_fread(file, back, sizeof back, &got), VT_OK);
  Expect("type 0 read", "bytes read", (long)got, (long)sizeof data);
  ExpectBytes("type 0 read", back, data, sizeof data);
  Expect("type 0 read", "read at end of file", vt_fread(file, back, 1, &got), VT_EOF);
  Expect("type 0 read", "bytes at end of file", (long)got, 0);
  Ok("type 0 read");

  Expect("type 0 seek", "seek result", vt_fseek(file, 4321), VT_OK);
  Expect("type 0 seek", "read result", vt_fread(file, back, 100, &got), VT_OK);
  Expect("type 0 seek", "bytes read", (long)got, 100);
  ExpectBytes("type 0 seek", back, data + 4321, 100);
  Close("type 0 seek", file);
  Ok("type 0 seek");

  /* Unstructured records: each one transfer of its length. */
  file = Open("type 0 records", kNames[0], VT_REC_BINARY, VT_WRITE, VT_CREATE, 0);
  Expect("type 0 records", "first record", vt_fwrite_record(file, data, 300), VT_OK);
  Expect("type 0 records", "second record", vt_fwrite_record(file, data + 300, 500), VT_OK);
  Close("type 0 records", file);
  file = Open("type 0 records", kNames[0], VT_REC_BINARY, VT_READ, 0, 0);
  int32_t length = 0;
  Expect("type 0 records", "first read", vt_fread_record(file, back, 300, &length, &got), VT_OK);
  Expect("type 0 records", "first length", length, 300);
  Expect("type 0 records", "first bytes", (long)got, 300);
  Expect("type 0 records", "second read", vt_fread_record(file, back + 300, 500, &length, &got), VT_OK);
  Expect("type 0 records", "second bytes", (long)got, 500);
  ExpectBytes("type 0 records", back, data, 800);
  Close("type 0 records", file);
  Expect("type 0 records", "file size", (long)ReadRaw("type 0 records", kNames[0], raw, sizeof raw), 800);
  Ok("type 0 records");
}

static const char* const kLines1[] = {"first line", "", "a line with \"quotes\" and  two  blanks",
                                      "part one, part two"};

static void Type1(void) {
  vt_file* file = Open("type 1 write", kNames[1], VT_REC_TEXT, VT_WRITE, VT_CREATE, 0);
  Expect("type 1 write", "line 1", vt_fwrite_line(file, kLines1[0], 1), VT_OK);
  Expect("type 1 write", "line 2", vt_fwrite_line(file, kLines1[1], 1), VT_OK);
  Expect("type 1 write", "line 3", vt_fwrite_line(file, kLines1[2], 1), VT_OK);
  Expect("type 1 write", "line 4 without newline", vt_fwrite_line(file, "part one, ", 0), VT_OK);
  Expect("type 1 write", "line 4 rest", vt_fwrite_line(file, "part two", 1), VT_OK);
  Expect("type 1 write", "end file", vt_fendfile(file), VT_OK);
  Close("type 1 write", file);
  Ok("type 1 write");

  size_t n = 0;
  for (int i = 0; i < 4; ++i) {
    size_t len = strlen(kLines1[i]);
    memcpy(expected + n, kLines1[i], len);
    n += len;
    expected[n++] = '\n';
  }
  expected[n++] = 0x1A;
  Expect("type 1 layout", "file size", (long)ReadRaw("type 1 layout", kNames[1], raw, sizeof raw), (long)n);
  ExpectBytes("type 1 layout", raw, expected, n);
  Ok("type 1 layout");

  file = Open("type 1 records", kNames[1], VT_REC_TEXT, VT_READ, 0, 0);
  for (int i = 0; i < 4; ++i) ExpectRecord("type 1 records", file, kLines1[i], strlen(kLines1[i]));
  ExpectEnd("type 1 records", file);
  Ok("type 1 records");

  Expect("type 1 rewind", "rewind result", vt_frewind(file), VT_OK);
  char part[8];
  int32_t length = 0;
  size_t got = 0;
  Expect("type 1 short read", "read result", vt_fread_record(file, part, 5, &length, &got), VT_OK);
  Expect("type 1 short read", "record length", length, (long)strlen(kLines1[0]));
  Expect("type 1 short read", "bytes", (long)got, 5);
  ExpectBytes("type 1 short read", part, kLines1[0], 5);
  ExpectRecord("type 1 short read", file, kLines1[1], 0);
  Ok("type 1 short read");

  Expect("type 1 rewind", "rewind result", vt_frewind(file), VT_OK);
  char line[256];
  int lines = 0;
  while (vt_fgets(line, sizeof line, file) != NULL) {
    if (lines >= 4) Fail("type 1 lines", "more lines than written", lines + 1, 4);
    Expect("type 1 lines", "line length", (long)strlen(line), (long)strlen(kLines1[lines]) + 1);
    ExpectBytes("type 1 lines", line, kLines1[lines], strlen(kLines1[lines]));
    Expect("type 1 lines", "newline", line[strlen(line) - 1], '\n');
    ++lines;
  }
  Expect("type 1 lines", "lines", lines, 4);
  Close("type 1 lines", file);
  Ok("type 1 rewind and lines");
}

static void Type2(void) {
  static uint8_t r1[100], r2[5000], r3[4500], r4[3], r5[50];
  Pattern(r1, sizeof r1, 1);
  Pattern(r2, sizeof r2, 2);
  Pattern(r3, sizeof r3, 3);
  Pattern(r4, sizeof r4, 4);
  Pattern(r5, sizeof r5, 5);

  vt_file* file = Open("type 2 write", kNames[2], VT_REC_COUNTED, VT_WRITE, VT_CREATE, 0);
  Expect("type 2 write", "record 1", vt_fwrite_record(file, r1, sizeof r1), VT_OK);
  Expect("type 2 write", "record 2", vt_fwrite_record(file, r2, sizeof r2), VT_OK);
  /* Length not known in advance: patched when the record ends. */
  Expect("type 2 write", "record 3 begin", vt_frecord_begin(file, VT_REC_UNKNOWN_LENGTH, r3, 1000), VT_OK);
  Expect("type 2 write", "record 3 part", vt_frecord_add(file, r3 + 1000, 2000), VT_OK);
  Expect("type 2 write", "record 3 part", vt_frecord_add(file, r3 + 3000, 1500), VT_OK);
  Expect("type 2 write", "record 3 end", vt_frecord_end(file), VT_OK);
  Expect("type 2 write", "record 4", vt_fwrite_record(file, r4, sizeof r4), VT_OK);
  Close("type 2 write", file);
  Ok("type 2 write");

  const uint8_t* records[] = {r1, r2, r3, r4, r5};
  const size_t sizes[] = {sizeof r1, sizeof r2, sizeof r3, sizeof r4, sizeof r5};
  size_t n = 0;
  for (int i = 0; i < 4; ++i) {
    n += PutWord(expected + n, (uint32_t)sizes[i]);
    memcpy(expected + n, records[i], sizes[i]);
    n += sizes[i];
    n += PutWord(expected + n, (uint32_t)sizes[i]);
  }
  n += PutWord(expected + n, 0xFFFFFFFFu);
  Expect("type 2 layout", "file size", (long)ReadRaw("type 2 layout", kNames[2], raw, sizeof raw), (long)n);
  ExpectBytes("type 2 layout", raw, expected, n);
  Ok("type 2 layout");

  file = Open("type 2 records", kNames[2], VT_REC_COUNTED, VT_READ, 0, 0);
  for (int i = 0; i < 4; ++i) ExpectRecord("type 2 records", file, records[i], sizes[i]);
  ExpectEnd("type 2 records", file);
  Ok("type 2 records");

  Expect("type 2 rewind", "rewind result", vt_frewind(file), VT_OK);
  ExpectRecord("type 2 rewind", file, r1, sizeof r1);
  Ok("type 2 rewind");

  ExpectRecord("type 2 backspace", file, r2, sizeof r2);
  ExpectRecord("type 2 backspace", file, r3, sizeof r3);
  Expect("type 2 backspace", "backspace result", vt_fbackspace(file), VT_OK);
  ExpectRecord("type 2 backspace", file, r3, sizeof r3);
  Expect("type 2 backspace", "backspace result", vt_fbackspace(file), VT_OK);
  Expect("type 2 backspace", "backspace result", vt_fbackspace(file), VT_OK);
  ExpectRecord("type 2 backspace", file, r2, sizeof r2);
  Close("type 2 backspace", file);
  Ok("type 2 backspace");

  file = Open("type 2 append", kNames[2], VT_REC_COUNTED, VT_WRITE, VT_AT_END, 0);
  Expect("type 2 append", "record 5", vt_fwrite_record(file, r5, sizeof r5), VT_OK);
  Close("type 2 append", file);
  file = Open("type 2 append", kNames[2], VT_REC_COUNTED, VT_READ, 0, 0);
  for (int i = 0; i < 5; ++i) ExpectRecord("type 2 append", file, records[i], sizes[i]);
  ExpectEnd("type 2 append", file);
  uint32_t size = 0;
  Expect("type 2 append", "size result", vt_fsize(file, &size), VT_OK);
  Expect("type 2 append", "file size", (long)size, (long)(n + sizeof r5 + 8));
  Close("type 2 append", file);
  Ok("type 2 append");
}

static const char* const kLines3[] = {"alpha", "beta gamma", "", "last line"};

static void Type3(void) {
  vt_file* file = Open("type 3 write", kNames[3], VT_REC_CRLF, VT_WRITE, VT_CREATE, 0);
  for (int i = 0; i < 4; ++i) Expect("type 3 write", "line", vt_fwrite_line(file, kLines3[i], 1), VT_OK);
  Close("type 3 write", file);
  Ok("type 3 write");

  size_t n = 0;
  for (int i = 0; i < 4; ++i) {
    size_t len = strlen(kLines3[i]);
    memcpy(expected + n, kLines3[i], len);
    n += len;
    expected[n++] = '\r';
    expected[n++] = '\n';
  }
  expected[n++] = 0x1A;
  Expect("type 3 layout", "file size", (long)ReadRaw("type 3 layout", kNames[3], raw, sizeof raw), (long)n);
  ExpectBytes("type 3 layout", raw, expected, n);
  Ok("type 3 layout");

  file = Open("type 3 records", kNames[3], VT_REC_CRLF, VT_READ, 0, 0);
  for (int i = 0; i < 4; ++i) ExpectRecord("type 3 records", file, kLines3[i], strlen(kLines3[i]));
  ExpectEnd("type 3 records", file);
  Ok("type 3 records");

  Expect("type 3 backspace", "rewind result", vt_frewind(file), VT_OK);
  for (int i = 0; i < 3; ++i) ExpectRecord("type 3 backspace", file, kLines3[i], strlen(kLines3[i]));
  Expect("type 3 backspace", "backspace result", vt_fbackspace(file), VT_OK);
  ExpectRecord("type 3 backspace", file, kLines3[2], strlen(kLines3[2]));
  Expect("type 3 backspace", "backspace result", vt_fbackspace(file), VT_OK);
  Expect("type 3 backspace", "backspace result", vt_fbackspace(file), VT_OK);
  ExpectRecord("type 3 backspace", file, kLines3[1], strlen(kLines3[1]));
  Expect("type 3 backspace", "backspace result", vt_fbackspace(file), VT_OK);
  Expect("type 3 backspace", "backspace result", vt_fbackspace(file), VT_OK);
  ExpectRecord("type 3 backspace", file, kLines3[0], strlen(kLines3[0]));
  Close("type 3 backspace", file);
  Ok("type 3 backspace");
}

static void Fixed(int32_t type, const char* name, int32_t length, const uint32_t* order, uint32_t count) {
  char what[32];
  static uint8_t records[8][128];
  for (uint32_t i = 0; i < count; ++i) Pattern(records[i], (size_t)length, 10 + i + (unsigned)type);

  vt_file* file = Open("fixed records write", name, type, VT_WRITE, VT_CREATE, length);
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t number = order[i];
    Expect("fixed records write", "record write",
           vt_fwrite_record_at(file, number, records[number - 1], (size_t)length), VT_OK);
  }
  Close("fixed records write", file);
  snprintf(what, sizeof what, "type %d write", (int)type);
  Ok(what);

  snprintf(what, sizeof what, "type %d layout", (int)type);
  size_t n = (size_t)length * count;
  for (uint32_t i = 0; i < count; ++i) memcpy(expected + (size_t)length * i, records[i], (size_t)length);
  Expect(what, "file size", (long)ReadRaw(what, name, raw, sizeof raw), (long)n);
  ExpectBytes(what, raw, expected, n);
  Ok(what);

  /* Read back in the reverse of the writing order. */
  snprintf(what, sizeof what, "type %d records", (int)type);
  file = Open(what, name, type, VT_READ, 0, length);
  for (uint32_t i = count; i-- > 0;) {
    uint32_t number = order[i];
    uint8_t back[128];
    int32_t recordLength = 0;
    size_t got = 0;
    Expect(what, "record read", vt_fread_record_at(file, number, back, (size_t)length, &recordLength, &got),
           VT_OK);
    Expect(what, "record length", recordLength, length);
    Expect(what, "record bytes", (long)got, length);
    ExpectBytes(what, back, records[number - 1], (size_t)length);
  }
  Close(what, file);
  Ok(what);

  /* Replace one record in place. */
  snprintf(what, sizeof what, "type %d update", (int)type);
  Pattern(records[1], (size_t)length, 99);
  file = Open(what, name, type, VT_UPDATE, 0, length);
  Expect(what, "record write", vt_fwrite_record_at(file, 2, records[1], (size_t)length), VT_OK);
  for (uint32_t number = 1; number <= count; ++number) {
    uint8_t back[128];
    int32_t recordLength = 0;
    size_t got = 0;
    Expect(what, "record read", vt_fread_record_at(file, number, back, (size_t)length, &recordLength, &got),
           VT_OK);
    Expect(what, "record bytes", (long)got, length);
    ExpectBytes(what, back, records[number - 1], (size_t)length);
  }
  Close(what, file);
  Ok(what);
}

static void Temporary(void) {
  static uint8_t data[6000], back[6000];
  Pattern(data, sizeof data, 7);
  vt_file* file = vt_tmpfile(VT_REC_BINARY, 0);
  if (file == NULL) Fail("temporary file", "open refused with result", (long)vt_last_result(), 0);
  char name[512];
  Expect("temporary file", "name result", vt_fname(file, name, sizeof name), VT_OK);
  if (name[0] == '\0') Fail("temporary file", "empty name", 0, 1);
  Expect("temporary file", "write result", vt_fwrite(file, data, sizeof data), VT_OK);
  Expect("temporary file", "seek result", vt_fseek(file, 0), VT_OK);
  size_t got = 0;
  Expect("temporary file", "read result", vt_fread(file, back, sizeof back, &got), VT_OK);
  Expect("temporary file", "bytes read", (long)got, (long)sizeof data);
  ExpectBytes("temporary file", back, data, sizeof data);
  Close("temporary file", file);
  Expect("temporary file", "exists after close", vt_fexists(name), 0);
  Ok("temporary file");
}

static void Names(void) {
  const char text[] = "renamed file";
  vt_file* file = Open("rename", kNames[6], VT_REC_BINARY, VT_WRITE, VT_CREATE, 0);
  Expect("rename", "write result", vt_fwrite(file, text, sizeof text), VT_OK);
  Close("rename", file);
  Expect("rename", "exists before", vt_fexists(kNames[6]), 1);
  Expect("rename", "rename result", vt_frename(kNames[6], kNames[7]), VT_OK);
  Expect("rename", "old name exists", vt_fexists(kNames[6]), 0);
  Expect("rename", "new name exists", vt_fexists(kNames[7]), 1);
  char back[sizeof text];
  Expect("rename", "file size", (long)ReadRaw("rename", kNames[7], (uint8_t*)back, sizeof back),
         (long)sizeof text);
  ExpectBytes("rename", back, text, sizeof text);
  Ok("rename");

  const char* gone = kNames[8];
  file = Open("remove on close", gone, VT_REC_BINARY, VT_WRITE, VT_CREATE, 0);
  Expect("remove on close", "write result", vt_fwrite(file, text, sizeof text), VT_OK);
  vt_fremove_on_close(file, 1);
  Close("remove on close", file);
  Expect("remove on close", "exists after close", vt_fexists(gone), 0);
  Ok("remove on close");
}

static int Files(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--keep") == 0) {
      keep = 1;
    } else {
      vt_eprintf("files: unknown argument \"%s\" (only --keep)\n", argv[i]);
      return 2;
    }
  }
  Type0();
  Type1();
  Type2();
  Type3();
  static const uint32_t order4[] = {3, 1, 2};
  Fixed(VT_REC_FIXED, kNames[4], 64, order4, 3);
  static const uint32_t order5[] = {4, 2, 1, 3};
  Fixed(VT_REC_FIXED2, kNames[5], 100, order5, 4);
  Temporary();
  Names();
  Cleanup();
  vt_printf("files: all checks passed\n");
  return 0;
}

VT_MAIN(Files)
