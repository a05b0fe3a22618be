/* Services of the Basalt cluster (0): streams, files, records and process
 * services, one function per service with its exact argument layout. */
#include <string.h>

#include "internal.h"

enum {
  kOpen = 1,
  kOpenTemp = 2,
  kOpenInput = 3,
  kOpenOutput = 4,
  kRecordType = 5,
  kStatus = 6,
  kName = 7,
  kSize = 8,
  kDeviceInfo = 9,
  kClose = 11,
  kRead = 12,
  kWrite = 13,
  kSeek = 14,
  kReadRecord = 15,
  kWriteRecord = 16,
  kBackspace = 17,
  kRewind = 18,
  kEndFile = 19,
  kExists = 21,
  kReadable = 22,
  kStreamKind = 23,
  kExitTask = 24,
  kExitStatus = 25,
  kSystem = 26,
  kRename = 27,
  kTime = 28,
  kReserved29 = 29,
  kPeek = 30,
  kPoke = 31,
  kReserved32 = 32,
  kReserved33 = 33,
  kReserved34 = 34,
  kGetenv = 35,
  kPortIn = 36,
  kPortOut = 37,
  kTaskCount = 38,
  kInputTitle = 39,
};

/* The server reads names and data into 4096-byte buffers. */
static int Fits(size_t n) {
  return n <= VT_TRANSFER_MAX;
}

static int TextFits(const char* text) {
  return text != NULL && Fits(strlen(text));
}

static void Begin(int service) {
  vt_begin(VT_CLUSTER_BASALT, (uint32_t)service, 0);
}

/* A request of one word h and no reply values. */
static int32_t HandleOnly(int service, int32_t handle) {
  Begin(service);
  vt_put_int(handle);
  return vt_call();
}

/* Takes one reply word; fallback stands in when the reply lacks it. */
static int32_t ReplyInt(int32_t result, int32_t* value, int32_t fallback) {
  int32_t v;
  if (vt_get_int(&v) != 0) v = fallback;
  if (value) *value = v;
  return result;
}

int32_t vt_basalt_open(const char* name, int32_t type, int32_t access, uint32_t flags, int32_t record_length,
                       int32_t* handle) {
  if (!TextFits(name)) {
    if (handle) *handle = -1;
    return VT_E_ARGUMENT;
  }
  Begin(kOpen);
  vt_put_string(name);
  vt_put_int(type);
  vt_put_int(access);
  vt_put_word(flags);
  vt_put_int(record_length);
  return ReplyInt(vt_call(), handle, -1);
}

int32_t vt_basalt_open_temp(int32_t type, int32_t record_length, int32_t* handle) {
  Begin(kOpenTemp);
  vt_put_int(type);
  vt_put_int(record_length);
  return ReplyInt(vt_call(), handle, -1);
}

int32_t vt_basalt_open_input(int32_t selector, int32_t* handle) {
  Begin(kOpenInput);
  vt_put_int(selector);
  return ReplyInt(vt_call(), handle, -1);
}

int32_t vt_basalt_open_output(int32_t selector, int32_t* handle) {
  Begin(kOpenOutput);
  vt_put_int(selector);
  return ReplyInt(vt_call(), handle, -1);
}

int32_t vt_basalt_record_type(int32_t handle, int32_t* type) {
  return ReplyInt(HandleOnly(kRecordType, handle), type, 0);
}

int32_t vt_basalt_status(int32_t handle) {
  return HandleOnly(kStatus, handle);
}

int32_t vt_basalt_name(int32_t handle, char* name, size_t capacity) {
  int32_t result = HandleOnly(kName, handle);
  if (name && capacity > 0) vt_get_text(name, capacity);
  return result;
}

int32_t vt_basalt_size(int32_t handle, uint32_t* size) {
  int32_t result = HandleOnly(kSize, handle);
  uint32_t v;
  vt_get_word(&v);
  if (size) *size = v;
  return result;
}

int32_t vt_basalt_device_info(int32_t handle, int32_t info[3]) {
  int32_t result = HandleOnly(kDeviceInfo, handle);
  for (int i = 0; i < 3; ++i) {
    int32_t v;
    vt_get_int(&v);
    if (info) info[i] = v;
  }
  return result;
}

int32_t vt_basalt_close(int32_t handle, int32_t disposition) {
  Begin(kClose);
  vt_put_int(handle);
  vt_put_int(disposition);
  return vt_call();
}

int32_t vt_basalt_read(int32_t handle, uint32_t n, void* buffer, uint32_t capacity, uint32_t* got) {
  Begin(kRead);
  vt_put_int(handle);
  vt_put_word(n);
  int32_t result = vt_call();
  uint32_t count;
  vt_get_bytes(buffer, capacity, &count);
  if (got) *got = count < capacity ? count : capacity;
  return result;
}

int32_t vt_basalt_write(int32_t handle, const void* data, uint32_t n, uint32_t* written) {
  if (written) *written = 0;
  if (!Fits(n)) return VT_E_ARGUMENT;
  Begin(kWrite);
  vt_put_int(handle);
  vt_put_bytes(data, n);
  int32_t result = vt_call();
  uint32_t count;
  vt_get_word(&count);
  if (written) *written = count;
  return result;
}

int32_t vt_basalt_seek(int32_t handle, int32_t offset) {
  Begin(kSeek);
  vt_put_int(handle);
  vt_put_int(offset);
  return vt_call();
}

int32_t vt_basalt_read_record(int32_t handle, uint32_t control, uint32_t n, void* buffer, uint32_t capacity,
                              int32_t* length, uint32_t* got) {
  Begin(kReadRecord);
  vt_put_int(handle);
  vt_put_word(control);
  vt_put_word(n);
  int32_t result = vt_call();
  int32_t recordLength;
  vt_get_int(&recordLength);
  if (length) *length = recordLength;
  uint32_t count;
  vt_get_bytes(buffer, capacity, &count);
  if (got) *got = count < capacity ? count : capacity;
  return result;
}

int32_t vt_basalt_write_record(int32_t handle, uint32_t control, int32_t record_length, const void* data,
                               uint32_t n) {
  if (!Fits(n)) return VT_E_ARGUMENT;
  Begin(kWriteRecord);
  vt_put_int(handle);
  vt_put_word(control);
  vt_put_int(record_length);
  vt_put_bytes(data, n);
  return vt_call();
}

int32_t vt_basalt_backspace(int32_t handle) {
  return HandleOnly(kBackspace, handle);
}

int32_t vt_basalt_rewind(int32_t handle) {
  return HandleOnly(kRewind, handle);
}

int32_t vt_basalt_end_file(int32_t handle) {
  return HandleOnly(kEndFile, handle);
}

static int32_t NameOnly(int service, const char* name) {
  if (!TextFits(name)) return VT_E_ARGUMENT;
  Begin(service);
  vt_put_string(name);
  return vt_call();
}

int32_t vt_basalt_exists(const char* name) {
  return NameOnly(kExists, name);
}

int32_t vt_basalt_readable(const char* name) {
  return NameOnly(kReadable, name);
}

int32_t vt_basalt_stream_kind(int32_t handle, int32_t* kind) {
  return ReplyInt(HandleOnly(kStreamKind, handle), kind, -1);
}

int32_t vt_basalt_exit_task(int32_t w) {
  /* After this the server may be gone: console output goes first. */
  vt_flush_consoles();
  Begin(kExitTask);
  vt_put_int(w);
  /* The request word keeps bit 31 clear; the server takes w as the no-reply
     flag of this request. */
  return w == 0 ? vt_call() : vt_send();
}

int32_t vt_basalt_set_exit_status(int32_t status) {
  Begin(kExitStatus);
  vt_put_int(status);
  return vt_call();
}

int32_t vt_basalt_system(const char* command) {
  return NameOnly(kSystem, command);
}

int32_t vt_basalt_rename(const char* old_name, const char* new_name) {
  if (!TextFits(old_name) || !TextFits(new_name)) return VT_E_ARGUMENT;
  Begin(kRename);
  vt_put_string(old_name);
  vt_put_string(new_name);
  return vt_call();
}

int32_t vt_basalt_time(uint32_t* seconds) {
  Begin(kTime);
  int32_t result = vt_call();
  uint32_t v;
  vt_get_word(&v);
  if (seconds) *seconds = v;
  return result;
}

static int32_t Bare(int service) {
  Begin(service);
  return vt_call();
}

int32_t vt_basalt_reserved29(void) {
  return Bare(kReserved29);
}

int32_t vt_basalt_reserved32(void) {
  return Bare(kReserved32);
}

int32_t vt_basalt_reserved33(void) {
  return Bare(kReserved33);
}

int32_t vt_basalt_reserved34(uint32_t value, int32_t* reply) {
  Begin(kReserved34);
  vt_put_word(value);
  return ReplyInt(vt_call(), reply, 0);
}

int32_t vt_basalt_peek(uint32_t address, uint32_t count, void* buffer, uint32_t capacity, uint32_t* got) {
  Begin(kPeek);
  vt_put_word(address);
  vt_put_word(count);
  int32_t result = vt_call();
  uint32_t n;
  vt_get_bytes(buffer, capacity, &n);
  if (got) *got = n < capacity ? n : capacity;
  return result;
}

int32_t vt_basalt_poke(uint32_t address, const void* data, uint32_t n, uint32_t* count) {
  if (count) *count = 0;
  if (!Fits(n)) return VT_E_ARGUMENT;
  Begin(kPoke);
  vt_put_word(address);
  vt_put_bytes(data, n);
  int32_t result = vt_call();
  uint32_t v;
  vt_get_word(&v);
  if (count) *count = v;
  return result;
}

int32_t vt_basalt_getenv(const char* name, char* value, size_t capacity) {
  if (value && capacity > 0) value[0] = '\0';
  int32_t result = NameOnly(kGetenv, name);
  if (result != VT_E_ARGUMENT && value && capacity > 0) vt_get_text(value, capacity);
  return result;
}

int32_t vt_basalt_port_in(uint32_t port, int32_t* value) {
  Begin(kPortIn);
  vt_put_word(port);
  return ReplyInt(vt_call(), value, 0);
}

int32_t vt_basalt_port_out(uint32_t port, uint32_t value) {
  Begin(kPortOut);
  vt_put_word(port);
  vt_put_word(value);
  return vt_call();
}

int32_t vt_basalt_set_task_count(int32_t count) {
  Begin(kTaskCount);
  vt_put_int(count);
  return vt_call();
}

int32_t vt_basalt_set_input_title(const char* title) {
  return NameOnly(kInputTitle, title);
}
