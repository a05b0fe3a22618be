/* Shared between the run-time's own sources only. */
#ifndef VELTRA_TARGET_INTERNAL_H
#define VELTRA_TARGET_INTERNAL_H

#include <stddef.h>
#include <stdint.h>

#include "veltra_target.h"

/* Reports on stderr and ends the process: without its server the application
   cannot go on. */
VT_NORETURN void vt_fatal(const char* format, ...) VT_PRINTF(1, 2);

/* Called when a link is attached, so the stdio layer forgets the streams of an
   earlier attachment. */
void vt_stdio_reset(void);
/* Sends what the console output streams hold; before the application waits
   on the host or ends. Returns the first failure's result. */
int32_t vt_flush_consoles(void);

/* A console or file stream of the Basalt cluster. */
struct vt_file {
  int32_t handle;
  int32_t type;
  int32_t recordLength; /* of the record being written in pieces */
  int console;          /* one of the VtConsole values */
  int removeOnClose;
  /* Bytes read ahead by vt_fgets, and on console input by vt_fread too, since
     the server answers there with a whole line whatever count is asked.
     Positioning, record and write calls drop them. */
  char* input;
  uint32_t inputStart;
  uint32_t inputEnd;
  int32_t inputEnded; /* 0, or the result that ended the input */
};

enum VtConsole { kVtFile, kVtConsoleInput, kVtConsoleOutput };

/* Forgets what vt_fgets read ahead. */
void vt_drop_input(vt_file* file);
void vt_set_last_result(int32_t result);
/* The console streams live in static slots: closing one only forgets it. */
int vt_is_console_slot(const vt_file* file);
void vt_forget_console(vt_file* file);

/* Little-endian access to byte buffers. */
static inline uint32_t vt_load32(const uint8_t* p) {
  return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

static inline void vt_store32(uint8_t* p, uint32_t v) {
  p[0] = (uint8_t)v;
  p[1] = (uint8_t)(v >> 8);
  p[2] = (uint8_t)(v >> 16);
  p[3] = (uint8_t)(v >> 24);
}

/* A double as two words, low word first: the low word holds the low half of
   the IEEE 754 bit pattern. */
void vt_store_double(uint8_t* p, double value);
double vt_load_double(const uint8_t* p);

#endif
