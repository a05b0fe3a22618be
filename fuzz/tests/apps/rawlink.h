/* The link protocol by hand, for applications that must control exactly
 * when each byte goes: blocks of little-endian words on the descriptor named
 * by VELTRA_LINK_FD. */
#ifndef RAWLINK_H
#define RAWLINK_H

#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static inline int LinkFd(void) {
  const char* text = getenv("VELTRA_LINK_FD");
  if (!text) _exit(127);
  return atoi(text);
}

static inline int WriteAll(int fd, const void* data, size_t n) {
  const char* at = (const char*)data;
  while (n > 0) {
    ssize_t done = write(fd, at, n);
    if (done <= 0) return -1;
    at += done;
    n -= (size_t)done;
  }
  return 0;
}

static inline int ReadAll(int fd, void* data, size_t n) {
  char* at = (char*)data;
  while (n > 0) {
    ssize_t done = read(fd, at, n);
    if (done <= 0) return -1;
    at += done;
    n -= (size_t)done;
  }
  return 0;
}

/* A request being built: the length word, then the request word and its
   arguments. */
typedef struct {
  uint32_t words[2100];
  uint32_t length; /* bytes after the length word */
} Request;

static inline void Begin(Request* r, uint32_t cluster, uint32_t service) {
  r->length = 4;
  r->words[1] = cluster << 8 | service;
}

static inline void PutWord(Request* r, uint32_t word) {
  r->words[1 + r->length / 4] = word;
  r->length += 4;
}

static inline void PutText(Request* r, const char* text, uint32_t n) {
  PutWord(r, n);
  memset((char*)&r->words[1 + r->length / 4], 0, (n + 3) & ~3u);
  memcpy(&r->words[1 + r->length / 4], text, n);
  r->length += (n + 3) & ~3u;
}

/* Sends the block; split > 0 sends that many bytes first and the rest after
   pause microseconds. */
static inline int Send(int fd, Request* r, size_t split, unsigned pause) {
  r->words[0] = r->length;
  size_t total = 4 + r->length;
  if (split == 0 || split >= total) return WriteAll(fd, r->words, total);
  if (WriteAll(fd, r->words, split) != 0) return -1;
  usleep(pause);
  return WriteAll(fd, (const char*)r->words + split, total - split);
}

/* Reads one reply block (signal blocks are skipped) into words; returns its
   word count, or -1 when the link is gone. */
static inline int Receive(int fd, uint32_t* words, size_t capacity) {
  for (;;) {
    uint32_t length = 0;
    if (ReadAll(fd, &length, 4) != 0) return -1;
    if (length == 0x10004u) {
      uint32_t mask;
      if (ReadAll(fd, &mask, 4) != 0) return -1;
      continue;
    }
    if (length % 4 != 0 || length / 4 > capacity) return -1;
    if (ReadAll(fd, words, length) != 0) return -1;
    return (int)(length / 4);
  }
}

#endif
