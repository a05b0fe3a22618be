/* Control-panel services: cluster 0x310 (services 1-9) and the combined
 * cluster 0x300 (services 11-21). */
#include <string.h>

#include "internal.h"

enum Panel {
  kOpenStatus,
  kShowStatus,
  kOpenInput,
  kReadInput,
  kCloseInput,
  kOpenPanel,
  kReadPanel,
  kClosePanel,
  kAskYesNo,
};

static const uint8_t kStandaloneNumbers[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
static const uint8_t kCombinedNumbers[] = {11, 12, 13, 14, 15, 16, 17, 18, 21};

enum { kOpenModule = 19, kReadModule = 20 };

static void Begin(uint32_t cluster, enum Panel service) {
  const uint8_t* numbers = cluster == VT_CLUSTER_COMBINED ? kCombinedNumbers : kStandaloneNumbers;
  vt_begin(cluster, numbers[service], 0);
}

/* Texts go with their zero, at most 128 bytes in all. */
static void PutText(const char* text) {
  char buffer[128];
  size_t n = text ? strlen(text) : 0;
  if (n > sizeof buffer - 1) n = sizeof buffer - 1;
  if (n > 0) memcpy(buffer, text, n);
  buffer[n] = '\0';
  vt_put_bytes(buffer, (uint32_t)n + 1);
}

static int32_t Bare(uint32_t cluster, enum Panel service) {
  Begin(cluster, service);
  return vt_call();
}

int32_t vt_panel_open_status(uint32_t cluster) {
  return Bare(cluster, kOpenStatus);
}

int32_t vt_panel_show_status(uint32_t cluster, const char* text) {
  Begin(cluster, kShowStatus);
  PutText(text);
  return vt_call();
}

int32_t vt_panel_open_input(uint32_t cluster) {
  return Bare(cluster, kOpenInput);
}

int32_t vt_panel_read_input(uint32_t cluster, int32_t* frequency) {
  int32_t result = Bare(cluster, kReadInput);
  int32_t value;
  if (vt_get_int(&value) != 0) value = -1;
  if (frequency) *frequency = value;
  return result;
}

int32_t vt_panel_close_input(uint32_t cluster) {
  return Bare(cluster, kCloseInput);
}

int32_t vt_panel_open_panel(uint32_t cluster) {
  return Bare(cluster, kOpenPanel);
}

int32_t vt_panel_read_panel(uint32_t cluster, vt_panel_settings* settings) {
  int32_t result = Bare(cluster, kReadPanel);
  uint8_t block[VT_PANEL_SETTINGS_SIZE];
  memset(block, 0, sizeof block);
  uint32_t count;
  vt_get_bytes(block, sizeof block, &count);
  if (settings) {
    settings->adc_mhz = (int32_t)vt_load32(block);
    settings->dac_mhz = (int32_t)vt_load32(block + 4);
    settings->pattern_generator = (int32_t)vt_load32(block + 8);
    settings->pattern_frequency = (int32_t)vt_load32(block + 12);
    settings->pattern_amplitude = (int32_t)vt_load32(block + 16);
    memcpy(settings->pattern_file, block + 20, sizeof settings->pattern_file);
    settings->pattern_file[sizeof settings->pattern_file - 1] = '\0';
    settings->terminate = (int32_t)vt_load32(block + 532);
  }
  return result;
}

int32_t vt_panel_close_panel(uint32_t cluster) {
  return Bare(cluster, kClosePanel);
}

int32_t vt_panel_open_module(void) {
  vt_begin(VT_CLUSTER_COMBINED, kOpenModule, 0);
  return vt_call();
}

int32_t vt_panel_read_module(int32_t* sampling_mhz, int32_t* trigger_i, int32_t* trigger_q, int32_t* split) {
  vt_begin(VT_CLUSTER_COMBINED, kReadModule, 0);
  int32_t result = vt_call();
  int32_t* outputs[4] = {sampling_mhz, trigger_i, trigger_q, split};
  for (int i = 0; i < 4; ++i) {
    int32_t value;
    if (vt_get_int(&value) != 0) value = -1;
    if (outputs[i]) *outputs[i] = value;
  }
  return result;
}

int32_t vt_panel_ask_yes_no(uint32_t cluster, const char* caption, const char* question) {
  /* The question waits on the user, who should have seen the output before it. */
  vt_flush_consoles();
  Begin(cluster, kAskYesNo);
  PutText(caption);
  PutText(question);
  return vt_call();
}
