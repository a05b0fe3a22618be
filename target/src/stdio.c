/* Console streams, formatted output and line input over the Basalt services.
 *
 * Console output is buffered as C's stdio buffers it: standard output by lines
 * and standard error not at all, unless vt_setvbuf says otherwise. A buffer
 * is sent before anything is written to the other console stream, before
 * console input is asked for, before the application waits on the host or
 * ends, and on vt_fflush; so the two streams reach the host in the order the
 * application wrote them. Host files are not buffered: every call is one
 * write request (or several of at most 4096 bytes). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "internal.h"

static vt_file consoles[3];
static int consoleTried[3];
static int32_t lastResult;

enum { kStdin, kStdout, kStderr };

/* The output buffer of a console stream (slots kStdout and kStderr). */
typedef struct {
  uint8_t data[VT_TRANSFER_MAX];
  uint32_t count;
  uint32_t size; /* sent when this full */
  int mode;      /* VT_IOFBF, VT_IOLBF or VT_IONBF */
} OutBuffer;

static OutBuffer outBuffers[3];

static void DefaultBuffering(void) {
  for (int i = 0; i < 3; ++i) {
    outBuffers[i].count = 0;
    outBuffers[i].size = VT_TRANSFER_MAX;
    outBuffers[i].mode = i == kStderr ? VT_IONBF : VT_IOLBF;
  }
}

void vt_set_last_result(int32_t result) {
  lastResult = result;
}

int32_t vt_last_result(void) {
  return lastResult;
}

void vt_drop_input(vt_file* file) {
  file->inputStart = file->inputEnd = 0;
  file->inputEnded = 0;
}

void vt_stdio_reset(void) {
  for (int i = 0; i < 3; ++i) {
    free(consoles[i].input);
    memset(&consoles[i], 0, sizeof consoles[i]);
    consoleTried[i] = 0;
  }
  /* What an earlier link's streams held is not this link's to send. */
  DefaultBuffering();
  lastResult = VT_OK;
}

static vt_file* Console(int which) {
  vt_file* file = &consoles[which];
  if (consoleTried[which]) return file->handle >= 0 ? file : NULL;
  consoleTried[which] = 1;
  /* Opening is a request too: what the other stream holds goes first. */
  vt_flush_consoles();
  int32_t handle = -1;
  int32_t result = which == kStdin ? vt_basalt_open_input(0, &handle)
                                   : vt_basalt_open_output(which == kStdout ? 0 : 1, &handle);
  if (result != VT_OK) handle = -1;
  file->handle = handle;
  file->type = VT_REC_TEXT;
  file->console = which == kStdin ? kVtConsoleInput : kVtConsoleOutput;
  if (handle < 0) {
    lastResult = result != VT_OK ? result : VT_FAILURE;
    return NULL;
  }
  return file;
}

vt_file* vt_stdin(void) {
  return Console(kStdin);
}

vt_file* vt_stdout(void) {
  return Console(kStdout);
}

vt_file* vt_stderr(void) {
  return Console(kStderr);
}

/* Console streams are not freed by vt_fclose; this tells them apart. */
int vt_is_console_slot(const vt_file* file) {
  return file >= consoles && file < consoles + 3;
}

void vt_forget_console(vt_file* file) {
  int which = (int)(file - consoles);
  free(file->input);
  memset(file, 0, sizeof *file);
  file->handle = -1;
  consoleTried[which] = 0;
}

/* Sends n bytes in requests of at most 4096 bytes. */
static int32_t WriteThrough(vt_file* file, const uint8_t* at, size_t n) {
  while (n > 0) {
    uint32_t part = n < VT_TRANSFER_MAX ? (uint32_t)n : VT_TRANSFER_MAX;
    uint32_t written = 0;
    int32_t result = vt_basalt_write(file->handle, at, part, &written);
    if (result == VT_OK && written != part) result = VT_FAILURE;
    if (result != VT_OK) return lastResult = result;
    at += part;
    n -= part;
  }
  return VT_OK;
}

static OutBuffer* BufferOf(const vt_file* file) {
  if (file == NULL || !vt_is_console_slot(file) || file->console != kVtConsoleOutput) return NULL;
  return &outBuffers[file - consoles];
}

/* Sends what the console stream in slot which holds. The bytes are gone
   whatever the result, as a failed write would lose them. */
static int32_t FlushSlot(int which) {
  OutBuffer* buffer = &outBuffers[which];
  if (buffer->count == 0) return VT_OK;
  uint32_t n = buffer->count;
  buffer->count = 0;
  return WriteThrough(&consoles[which], buffer->data, n);
}

int32_t vt_flush_consoles(void) {
  /* Writing to one stream empties the other first, so at most one holds
     anything and the order here does not matter. */
  int32_t out = FlushSlot(kStdout);
  int32_t err = FlushSlot(kStderr);
  return out != VT_OK ? out : err;
}

int32_t vt_fflush(vt_file* file) {
  if (file == NULL) return vt_flush_consoles();
  OutBuffer* buffer = BufferOf(file);
  return buffer ? FlushSlot((int)(buffer - outBuffers)) : VT_OK;
}

int32_t vt_setvbuf(vt_file* file, int mode, size_t size) {
  OutBuffer* buffer = BufferOf(file);
  if (buffer == NULL || (mode != VT_IOFBF && mode != VT_IOLBF && mode != VT_IONBF))
    return lastResult = VT_E_ARGUMENT;
  int32_t result = FlushSlot((int)(buffer - outBuffers));
  buffer->mode = mode;
  /* One request carries at most 4096 bytes: a larger buffer would gain nothing. */
  buffer->size = size == 0 || size > VT_TRANSFER_MAX ? VT_TRANSFER_MAX : (uint32_t)size;
  return result;
}

int32_t vt_fwrite(vt_file* file, const void* data, size_t n) {
  if (file == NULL) return lastResult = VT_E_ARGUMENT;
  vt_drop_input(file);
  OutBuffer* buffer = BufferOf(file);
  if (buffer == NULL) return WriteThrough(file, data, n);
  int which = (int)(buffer - outBuffers);
  /* The other stream's bytes were written first; a failure there is its own
     (kept in vt_last_result), not this write's. */
  FlushSlot(which == kStdout ? kStderr : kStdout);
  if (buffer->mode == VT_IONBF) return WriteThrough(file, data, n);
  const uint8_t* at = data;
  size_t left = n;
  while (left > 0) {
    if (buffer->count == 0 && left >= buffer->size) {
      /* Whole buffers' worth go straight out; the rest is kept. */
      size_t direct = left - left % buffer->size;
      int32_t result = WriteThrough(file, at, direct);
      if (result != VT_OK) return result;
      at += direct;
      left -= direct;
      continue;
    }
    uint32_t room = buffer->size - buffer->count;
    uint32_t part = left < room ? (uint32_t)left : room;
    memcpy(buffer->data + buffer->count, at, part);
    buffer->count += part;
    at += part;
    left -= part;
    if (buffer->count == buffer->size) {
      int32_t result = FlushSlot(which);
      if (result != VT_OK) return result;
    }
  }
  if (buffer->mode == VT_IOLBF && n > 0 && memchr(data, '\n', n) != NULL) return FlushSlot(which);
  return VT_OK;
}

int vt_vfprintf(vt_file* file, const char* format, va_list args) {
  char local[1024];
  va_list again;
  va_copy(again, args);
  int n = vsnprintf(local, sizeof local, format, args);
  char* text = local;
  if (n >= (int)sizeof local) {
    text = malloc((size_t)n + 1);
    if (text == NULL) {
      va_end(again);
      return -1;
    }
    vsnprintf(text, (size_t)n + 1, format, again);
  }
  va_end(again);
  if (n < 0) return -1;
  int32_t result = vt_fwrite(file, text, (size_t)n);
  if (text != local) free(text);
  return result == VT_OK ? n : -1;
}

int vt_fprintf(vt_file* file, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = vt_vfprintf(file, format, args);
  va_end(args);
  return n;
}

int vt_printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = vt_vfprintf(vt_stdout(), format, args);
  va_end(args);
  return n;
}

int vt_eprintf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = vt_vfprintf(vt_stderr(), format, args);
  va_end(args);
  return n;
}

int vt_fputs(const char* text, vt_file* file) {
  return vt_fwrite(file, text, strlen(text)) == VT_OK ? 0 : -1;
}

int vt_puts(const char* text) {
  return vt_printf("%s\n", text) < 0 ? -1 : 0;
}

/* Reads the next piece of input: a line from the console, one record of a
   text file (with its newline put back), or a block of bytes. Returns VT_OK
   with bytes in the read-ahead buffer, or the result that ended the input
   (kept, so later calls see the same end without asking again). */
static int32_t Refill(vt_file* file) {
  if (file->inputEnded) return file->inputEnded;
  /* A prompt must be out before its answer is asked for. */
  if (file->console == kVtConsoleInput) vt_flush_consoles();
  /* Room for any string a reply can carry, so nothing a server sends is lost,
     plus the newline put back after a text record. */
  if (file->input == NULL) {
    file->input = malloc(VT_BYTES_MAX + 1);
    if (file->input == NULL) return lastResult = VT_TABLE_FULL;
  }
  uint32_t got = 0;
  int32_t result;
  if (file->console == kVtFile && (file->type == VT_REC_TEXT || file->type == VT_REC_CRLF)) {
    int32_t length;
    result = vt_basalt_read_record(file->handle, VT_REC_BEGIN, VT_TRANSFER_MAX, file->input, VT_BYTES_MAX,
                                   &length, &got);
    if (result == VT_OK) file->input[got++] = '\n';
  } else {
    result = vt_basalt_read(file->handle, VT_TRANSFER_MAX, file->input, VT_BYTES_MAX, &got);
    if (got > 0 && result == VT_EOF) result = VT_OK; /* the last, unterminated piece */
  }
  file->inputStart = 0;
  file->inputEnd = got;
  if (result != VT_OK || got == 0) {
    file->inputEnd = 0;
    file->inputEnded = result != VT_OK ? result : VT_EOF;
    return lastResult = file->inputEnded;
  }
  return VT_OK;
}

/* Moves up to n read-ahead bytes to destination; returns how many. */
static size_t TakeBuffered(vt_file* file, uint8_t* destination, size_t n) {
  size_t buffered = file->inputEnd - file->inputStart;
  if (buffered > n) buffered = n;
  if (buffered > 0) {
    memcpy(destination, file->input + file->inputStart, buffered);
    file->inputStart += (uint32_t)buffered;
  }
  return buffered;
}

char* vt_fgets(char* buffer, int size, vt_file* file) {
  if (file == NULL || buffer == NULL || size <= 0) return NULL;
  int n = 0;
  while (n < size - 1) {
    if (file->inputStart == file->inputEnd && Refill(file) != VT_OK) break;
    char c = file->input[file->inputStart++];
    buffer[n++] = c;
    if (c == '\n') break;
  }
  if (n == 0 && size > 1) return NULL;
  buffer[n] = '\0';
  return buffer;
}

int32_t vt_fread(vt_file* file, void* buffer, size_t n, size_t* got) {
  size_t total = 0;
  int32_t result = VT_OK;
  if (file == NULL) {
    result = VT_E_ARGUMENT;
  } else if (file->console == kVtConsoleInput) {
    /* The server sends a whole line whatever count is asked, so console input
       goes through the read-ahead buffer and the rest of a line waits there.
       Like a terminal read, a call returns what is at hand, or else waits for
       one line: it never waits while input is already there. */
    if (n > 0 && file->inputStart == file->inputEnd) result = Refill(file);
    if (result == VT_OK) total = TakeBuffered(file, buffer, n);
  } else {
    uint8_t* at = buffer;
    /* What vt_fgets read ahead comes first. */
    total = TakeBuffered(file, at, n);
    while (total < n) {
      uint32_t part = n - total < VT_TRANSFER_MAX ? (uint32_t)(n - total) : VT_TRANSFER_MAX;
      uint32_t count = 0;
      result = vt_basalt_read(file->handle, part, at + total, part, &count);
      total += count;
      if (result != VT_OK) break;
      /* A character device gives one line, perhaps less than asked. */
      if (count < part && (file->console != kVtFile || count == 0)) break;
    }
  }
  if (got) *got = total;
  if (result != VT_OK) lastResult = result;
  return result;
}
