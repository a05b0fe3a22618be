/* Graph services: cluster 0x301, and the same numbers on the combined cluster
 * 0x300. */
#include <string.h>

#include "internal.h"

enum {
  kOpenLib = 1,
  kCloseLib = 2,
  kSetXTitle = 3,
  kSetYTitle = 4,
  kSetAxisRangesPhis = 5,
  kSetAxisRangesUser = 6,
  kShow = 7,
  kPumpMessages = 8,
  kAppendData = 9,
  kSetGraphTile = 10,
};

/* The cluster copies texts into 128-byte buffers and uses them as C strings,
   so each goes with its zero and no longer than that. */
static void PutText(const char* text) {
  char buffer[VT_GRAPH_TEXT_MAX + 1];
  size_t n = text ? strlen(text) : 0;
  if (n > VT_GRAPH_TEXT_MAX) n = VT_GRAPH_TEXT_MAX;
  if (n > 0) memcpy(buffer, text, n);
  buffer[n] = '\0';
  vt_put_bytes(buffer, (uint32_t)n + 1);
}

static void Begin(uint32_t cluster, int service, int32_t graph) {
  vt_begin(cluster, (uint32_t)service, 0);
  vt_put_int(graph);
}

int32_t vt_graph_open(uint32_t cluster, const char* settings_name, int32_t capacity) {
  vt_begin(cluster, kOpenLib, 0);
  PutText(settings_name);
  vt_put_int(capacity);
  return vt_call();
}

int32_t vt_graph_close(uint32_t cluster, int32_t graph) {
  Begin(cluster, kCloseLib, graph);
  return vt_call();
}

int32_t vt_graph_set_x_title(uint32_t cluster, int32_t graph, const char* title, const char* unit) {
  Begin(cluster, kSetXTitle, graph);
  PutText(title);
  PutText(unit);
  return vt_call();
}

int32_t vt_graph_set_y_title(uint32_t cluster, int32_t graph, const char* title, const char* unit) {
  Begin(cluster, kSetYTitle, graph);
  PutText(title);
  PutText(unit);
  return vt_call();
}

int32_t vt_graph_set_axis_ranges_phis(uint32_t cluster, int32_t graph, int32_t first_index,
                                      int32_t point_count, double physical_minimum, double physical_size) {
  uint8_t block[24];
  vt_store32(block, (uint32_t)first_index);
  vt_store32(block + 4, (uint32_t)point_count);
  vt_store_double(block + 8, physical_minimum);
  vt_store_double(block + 16, physical_size);
  Begin(cluster, kSetAxisRangesPhis, graph);
  vt_put_bytes(block, sizeof block);
  return vt_call();
}

int32_t vt_graph_set_axis_ranges_user(uint32_t cluster, int32_t graph, double x_minimum, double x_size,
                                      double y_minimum, double y_size) {
  uint8_t block[32];
  vt_store_double(block, x_minimum);
  vt_store_double(block + 8, x_size);
  vt_store_double(block + 16, y_minimum);
  vt_store_double(block + 24, y_size);
  Begin(cluster, kSetAxisRangesUser, graph);
  vt_put_bytes(block, sizeof block);
  return vt_call();
}

int32_t vt_graph_show(uint32_t cluster, int32_t graph) {
  Begin(cluster, kShow, graph);
  return vt_call();
}

int32_t vt_graph_pump(uint32_t cluster) {
  vt_begin(cluster, kPumpMessages, 0);
  return vt_call();
}

int32_t vt_graph_append(uint32_t cluster, int32_t graph, const double* samples, uint32_t n) {
  uint8_t bytes[8 * VT_GRAPH_APPEND_MAX];
  while (n > 0) {
    /* Each request must fit one block: the cluster expects its samples there. */
    uint32_t part = n < VT_GRAPH_APPEND_MAX ? n : VT_GRAPH_APPEND_MAX;
    for (uint32_t i = 0; i < part; ++i) vt_store_double(bytes + 8 * i, samples[i]);
    Begin(cluster, kAppendData, graph);
    vt_put_word(part);
    vt_put_bytes(bytes, 8 * part);
    int32_t result = vt_call();
    if (result != VT_OK) return result;
    samples += part;
    n -= part;
  }
  return VT_OK;
}

int32_t vt_graph_set_title(uint32_t cluster, int32_t graph, const char* title) {
  Begin(cluster, kSetGraphTile, graph);
  PutText(title);
  return vt_call();
}
