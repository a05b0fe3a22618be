/* The link: block framing of requests and replies, and host-semaphore signals.
 *
 * A request is built completely before anything is sent, split into blocks of
 * at most VT_BLOCK_MAX data bytes so that no value straddles two blocks (the
 * server fetches the next block only when it has used up the current one
 * exactly). Each block leaves with one write, length word and data together. */
#define _POSIX_C_SOURCE 200809L

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "internal.h"

static int linkFd = -1;

/* The request being built: a run of blocks, each a length word and its data. */
static uint8_t* request;
static size_t requestCapacity;
static size_t requestSize;
static size_t blockStart; /* offset of the current block's length word */
static int requestNoReply;
static int requestSpoiled;

/* The last reply's values (its result word excluded). */
static uint8_t reply[VT_BLOCK_MAX];
static uint32_t replySize;
static uint32_t replyCursor;

/* Bytes read from the link but not yet taken. */
static uint8_t input[2 * (VT_BLOCK_MAX + 4)];
static size_t inputStart;
static size_t inputEnd;

static uint32_t pendingSignals;

void vt_fatal(const char* format, ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  /* Plain write: stdio may be in any state here. */
  char line[300];
  int n = snprintf(line, sizeof line, "veltra: %s\n", text);
  if (n > 0) {
    ssize_t ignored = write(STDERR_FILENO, line, (size_t)n < sizeof line ? (size_t)n : sizeof line - 1);
    (void)ignored;
  }
  _exit(127);
}

void vt_store_double(uint8_t* p, double value) {
  uint64_t bits;
  memcpy(&bits, &value, sizeof bits);
  vt_store32(p, (uint32_t)bits);
  vt_store32(p + 4, (uint32_t)(bits >> 32));
}

double vt_load_double(const uint8_t* p) {
  uint64_t bits = (uint64_t)vt_load32(p) | ((uint64_t)vt_load32(p + 4) << 32);
  double value;
  memcpy(&value, &bits, sizeof value);
  return value;
}

/* ---- Attaching ------------------------------------------------------------ */

void vt_attach_fd(int fd) {
  linkFd = fd;
  requestSize = 0;
  blockStart = 0;
  requestSpoiled = 0;
  replySize = replyCursor = 0;
  inputStart = inputEnd = 0;
  pendingSignals = 0;
  vt_stdio_reset();
}

int vt_link_fd(void) {
  return linkFd;
}

static VT_NORETURN void AttachFailed(const char* why) {
  fprintf(stderr,
          "veltra: %s\n"
          "veltra: this program is a Veltra DSP application; start it from the Veltra server\n",
          why);
  exit(127);
}

void vt_attach(void) {
  const char* text = getenv("VELTRA_LINK_FD");
  if (text == NULL || *text == '\0') AttachFailed("VELTRA_LINK_FD is not set");
  char* end = NULL;
  errno = 0;
  long fd = strtol(text, &end, 10);
  char why[160];
  if (errno != 0 || end == text || *end != '\0' || fd < 0 || fd > 65535) {
    snprintf(why, sizeof why, "VELTRA_LINK_FD \"%.40s\" is not a descriptor number", text);
    AttachFailed(why);
  }
  struct stat info;
  if (fstat((int)fd, &info) != 0) {
    snprintf(why, sizeof why, "VELTRA_LINK_FD %ld is not an open descriptor", fd);
    AttachFailed(why);
  }
  if (!S_ISSOCK(info.st_mode)) {
    snprintf(why, sizeof why, "VELTRA_LINK_FD %ld is not a socket", fd);
    AttachFailed(why);
  }
  /* Commands the application runs must not hold the link open. */
  int flags = fcntl((int)fd, F_GETFD);
  if (flags >= 0) fcntl((int)fd, F_SETFD, flags | FD_CLOEXEC);
  vt_attach_fd((int)fd);
}

static void RequireLink(void) {
  if (linkFd < 0) vt_fatal("no link: call vt_init or vt_attach first");
}

/* ---- Raw transport -------------------------------------------------------- */

static void WriteAll(const uint8_t* data, size_t size) {
  while (size > 0) {
    ssize_t n = send(linkFd, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == ENOTSOCK) n = write(linkFd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      vt_fatal("link to the server failed while sending: %s", strerror(errno));
    }
    data += n;
    size -= (size_t)n;
  }
}

/* Reads whatever the link offers into the input buffer. Without wait, returns
   0 at once when nothing is readable. */
static int FillInput(int wait) {
  if (inputStart == inputEnd) inputStart = inputEnd = 0;
  if (inputEnd == sizeof input) {
    memmove(input, input + inputStart, inputEnd - inputStart);
    inputEnd -= inputStart;
    inputStart = 0;
  }
  if (!wait) {
    struct pollfd p = {.fd = linkFd, .events = POLLIN};
    int ready;
    do {
      ready = poll(&p, 1, 0);
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0) return 0;
  }
  for (;;) {
    ssize_t n = read(linkFd, input + inputEnd, sizeof input - inputEnd);
    if (n > 0) {
      inputEnd += (size_t)n;
      return 1;
    }
    if (n == 0) vt_fatal("link closed by the server");
    if (errno == EINTR) continue;
    vt_fatal("link to the server failed while receiving: %s", strerror(errno));
  }
}

static void ReadExact(uint8_t* destination, size_t size) {
  while (size > 0) {
    if (inputStart == inputEnd) FillInput(1);
    size_t n = inputEnd - inputStart;
    if (n > size) n = size;
    memcpy(destination, input + inputStart, n);
    inputStart += n;
    destination += n;
    size -= n;
  }
}

/* Receives one block. A signal block joins the pending mask (returns 0); a
   data block goes to destination, which holds VT_BLOCK_MAX bytes (returns its
   length). */
static uint32_t ReceiveBlock(uint8_t* destination) {
  uint8_t word[4];
  ReadExact(word, 4);
  uint32_t length = vt_load32(word);
  if (length == VT_SIGNAL_LENGTH) {
    ReadExact(word, 4);
    pendingSignals |= vt_load32(word);
    return 0;
  }
  if (length == 0 || length > VT_BLOCK_MAX || length % 4 != 0)
    vt_fatal("protocol error: block length %08x from the server", length);
  ReadExact(destination, length);
  return length;
}

/* ---- Requests ------------------------------------------------------------- */

static uint8_t* Grow(size_t size) {
  if (requestSize + size > requestCapacity) {
    size_t capacity = requestCapacity ? requestCapacity : VT_BLOCK_MAX + 4;
    while (capacity < requestSize + size) capacity *= 2;
    uint8_t* bigger = realloc(request, capacity);
    if (bigger == NULL) vt_fatal("out of memory for a request of %zu bytes", requestSize + size);
    request = bigger;
    requestCapacity = capacity;
  }
  uint8_t* at = request + requestSize;
  requestSize += size;
  return at;
}

/* Room for a value of size bytes, in a new block when the current one cannot
   take it whole. */
static uint8_t* Reserve(size_t size) {
  size_t used = requestSize - blockStart - 4;
  if (used + size > VT_BLOCK_MAX) {
    vt_store32(request + blockStart, (uint32_t)used);
    blockStart = requestSize;
    Grow(4);
  }
  return Grow(size);
}

void vt_begin(uint32_t cluster, uint32_t service, uint32_t flags) {
  requestSize = 0;
  blockStart = 0;
  requestSpoiled = 0;
  requestNoReply = (flags & VT_NO_REPLY) != 0;
  Grow(4);
  vt_put_word((flags & VT_NO_REPLY) | ((cluster & 0xFFFFu) << 8) | (service & 0xFFu));
}

void vt_put_word(uint32_t value) {
  vt_store32(Reserve(4), value);
}

void vt_put_int(int32_t value) {
  vt_put_word((uint32_t)value);
}

void vt_put_double(double value) {
  vt_store_double(Reserve(8), value);
}

void vt_put_bytes(const void* data, uint32_t n) {
  if (n > VT_BYTES_MAX) {
    requestSpoiled = 1;
    return;
  }
  uint32_t padded = (n + 3u) & ~3u;
  uint8_t* at = Reserve(4 + (size_t)padded);
  vt_store32(at, n);
  if (n > 0) memcpy(at + 4, data, n);
  memset(at + 4 + n, 0, padded - n);
}

void vt_put_string(const char* text) {
  size_t n = text ? strlen(text) : 0;
  if (n > VT_BYTES_MAX) {
    requestSpoiled = 1;
    return;
  }
  vt_put_bytes(text, (uint32_t)n);
}

static int32_t SendRequest(void) {
  RequireLink();
  if (requestSpoiled || requestSize == 0) return VT_E_ARGUMENT;
  vt_store32(request + blockStart, (uint32_t)(requestSize - blockStart - 4));
  size_t at = 0;
  while (at < requestSize) {
    size_t size = 4 + vt_load32(request + at);
    WriteAll(request + at, size);
    at += size;
  }
  requestSize = 0;
  return VT_OK;
}

int32_t vt_send(void) {
  replySize = replyCursor = 0;
  return SendRequest();
}

int32_t vt_call(void) {
  int noReply = requestNoReply;
  int32_t sent = vt_send();
  if (sent != VT_OK || noReply) return sent;
  uint32_t length;
  while ((length = ReceiveBlock(reply)) == 0) {
  }
  replySize = length - 4;
  replyCursor = 0;
  return (int32_t)vt_load32(reply + replySize);
}

/* ---- Reply values ------------------------------------------------------------ */

uint32_t vt_reply_remaining(void) {
  return replySize - replyCursor;
}

int vt_get_word(uint32_t* value) {
  if (vt_reply_remaining() < 4) {
    *value = 0;
    return -1;
  }
  *value = vt_load32(reply + replyCursor);
  replyCursor += 4;
  return 0;
}

int vt_get_int(int32_t* value) {
  uint32_t word;
  int r = vt_get_word(&word);
  *value = (int32_t)word;
  return r;
}

int vt_get_double(double* value) {
  if (vt_reply_remaining() < 8) {
    *value = 0.0;
    return -1;
  }
  *value = vt_load_double(reply + replyCursor);
  replyCursor += 8;
  return 0;
}

const void* vt_get_bytes_ref(uint32_t* count) {
  uint32_t left = vt_reply_remaining();
  if (left < 4) {
    *count = 0;
    return NULL;
  }
  uint32_t n = vt_load32(reply + replyCursor);
  uint32_t padded = (n + 3u) & ~3u;
  if (n > left - 4 || padded > left - 4) {
    /* A count running past the block: take nothing, leave nothing. */
    replyCursor = replySize;
    *count = 0;
    return NULL;
  }
  const void* data = reply + replyCursor + 4;
  replyCursor += 4 + padded;
  *count = n;
  return data;
}

int vt_get_bytes(void* destination, uint32_t capacity, uint32_t* count) {
  uint32_t n;
  const void* data = vt_get_bytes_ref(&n);
  *count = n;
  if (data == NULL) return -1;
  uint32_t copy = n < capacity ? n : capacity;
  if (copy > 0) memcpy(destination, data, copy);
  return 0;
}

int vt_get_text(char* destination, size_t capacity) {
  uint32_t n;
  const void* data = vt_get_bytes_ref(&n);
  if (capacity == 0) return data ? 0 : -1;
  size_t copy = n < capacity - 1 ? n : capacity - 1;
  if (data) memcpy(destination, data, copy);
  destination[data ? copy : 0] = '\0';
  return data ? 0 : -1;
}

/* ---- Signals ---------------------------------------------------------------- */

/* Blocks that are not signals have no place between requests (a reconnecting
   host may send a spare reply word); they are dropped. */
static uint8_t stray[VT_BLOCK_MAX];

uint32_t vt_poll_signals(uint32_t mask) {
  RequireLink();
  for (;;) {
    if (inputStart == inputEnd && !FillInput(0)) break;
    ReceiveBlock(stray);
  }
  uint32_t hit = pendingSignals & mask;
  pendingSignals &= ~hit;
  return hit;
}

uint32_t vt_wait_signals(uint32_t mask) {
  RequireLink();
  if (mask == 0) return 0;
  /* Waiting on the host may take the user: console output goes first. */
  if ((pendingSignals & mask) == 0) vt_flush_consoles();
  while ((pendingSignals & mask) == 0) ReceiveBlock(stray);
  uint32_t hit = pendingSignals & mask;
  pendingSignals &= ~hit;
  return hit;
}

int vt_poll_semaphore(int n) {
  if (n < 0 || n > 31) return 0;
  return vt_poll_signals(1u << n) != 0;
}

void vt_wait_semaphore(int n) {
  if (n < 0 || n > 31) return;
  vt_wait_signals(1u << n);
}
