/* Services of the core (1), debug (4) and debugger-interface (5) clusters. */
#include <string.h>

#include "internal.h"

/* The server's buffers for these services hold 4096 bytes. */
static int Fits(size_t n) {
  return n <= VT_TRANSFER_MAX;
}

int32_t vt_core_exception(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  vt_begin(VT_CLUSTER_CORE, 1, 0);
  vt_put_word(a);
  vt_put_word(b);
  vt_put_word(c);
  vt_put_word(d);
  return vt_call();
}

int32_t vt_core_get_command_line(char* name, size_t name_capacity, char* arguments,
                                 size_t arguments_capacity) {
  vt_begin(VT_CLUSTER_CORE, 2, 0);
  int32_t result = vt_call();
  if (name && name_capacity > 0) {
    vt_get_text(name, name_capacity);
  } else {
    uint32_t skipped;
    vt_get_bytes_ref(&skipped);
  }
  if (arguments && arguments_capacity > 0) vt_get_text(arguments, arguments_capacity);
  return result;
}

int32_t vt_core_set_command_line(const char* name, const char* arguments) {
  if (!name || !arguments || !Fits(strlen(name)) || !Fits(strlen(arguments))) return VT_E_ARGUMENT;
  vt_begin(VT_CLUSTER_CORE, 3, 0);
  vt_put_string(name);
  vt_put_string(arguments);
  return vt_call();
}

static uint32_t TakeBytes(void* buffer, uint32_t capacity) {
  uint32_t count;
  vt_get_bytes(buffer, capacity, &count);
  return count < capacity ? count : capacity;
}

int32_t vt_core_echo(const void* data, uint32_t n, void* buffer, uint32_t capacity, uint32_t* got) {
  if (got) *got = 0;
  if (!Fits(n)) return VT_E_ARGUMENT;
  vt_begin(VT_CLUSTER_CORE, 4, 0);
  vt_put_bytes(data, n);
  int32_t result = vt_call();
  uint32_t copied = TakeBytes(buffer, capacity);
  if (got) *got = copied;
  return result;
}

int32_t vt_core_sink(const void* data, uint32_t n) {
  if (!Fits(n)) return VT_E_ARGUMENT;
  vt_begin(VT_CLUSTER_CORE, 5, 0);
  vt_put_bytes(data, n);
  return vt_call();
}

int32_t vt_core_source(uint32_t n, void* buffer, uint32_t capacity, uint32_t* got) {
  if (got) *got = 0;
  if (!Fits(n)) return VT_E_ARGUMENT;
  vt_begin(VT_CLUSTER_CORE, 6, 0);
  vt_put_word(n);
  int32_t result = vt_call();
  uint32_t copied = TakeBytes(buffer, capacity);
  if (got) *got = copied;
  return result;
}

int32_t vt_core_link_sync(void) {
  vt_begin(VT_CLUSTER_CORE, 7, 0);
  return vt_call();
}

static int32_t OneWord(uint32_t cluster, uint32_t service, uint32_t value) {
  vt_begin(cluster, service, 0);
  vt_put_word(value);
  return vt_call();
}

int32_t vt_debug_value(uint32_t value) {
  return OneWord(VT_CLUSTER_DEBUG, 1, value);
}

int32_t vt_debug_word(uint32_t value) {
  return OneWord(VT_CLUSTER_DEBUG, 2, value);
}

int32_t vt_debug_char(uint32_t c) {
  return OneWord(VT_CLUSTER_DEBUG, 3, c);
}

int32_t vt_debugger_announce(uint32_t w1, uint32_t w2, const void* a, uint32_t na, const void* b,
                             uint32_t nb) {
  if (na > 1020 || nb > 1040) return VT_E_ARGUMENT;
  vt_begin(VT_CLUSTER_DEBUGGER, 1, 0);
  vt_put_word(w1);
  vt_put_word(w2);
  vt_put_bytes(a, na);
  vt_put_bytes(b, nb);
  return vt_call();
}

int32_t vt_debugger_nop(void) {
  vt_begin(VT_CLUSTER_DEBUGGER, 2, 0);
  return vt_call();
}

int32_t vt_debugger_pause(void) {
  /* The user decides when this returns: let them see what led here. */
  vt_flush_consoles();
  vt_begin(VT_CLUSTER_DEBUGGER, 3, 0);
  return vt_call();
}
