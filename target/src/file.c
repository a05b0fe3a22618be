/* Host files over the Basalt services: opening, closing, positioning and the
 * record formats. */
#include <stdlib.h>
#include <string.h>

#include "internal.h"

static int32_t Fail(int32_t result) {
  vt_set_last_result(result);
  return result;
}

static vt_file* Adopt(int32_t result, int32_t handle, int32_t type) {
  if (result != VT_OK || handle < 0) {
    vt_set_last_result(result != VT_OK ? result : VT_FAILURE);
    return NULL;
  }
  vt_file* file = calloc(1, sizeof *file);
  if (file == NULL) {
    vt_basalt_close(handle, VT_KEEP);
    vt_set_last_result(VT_TABLE_FULL);
    return NULL;
  }
  file->handle = handle;
  file->type = type;
  file->console = kVtFile;
  vt_set_last_result(VT_OK);
  return file;
}

vt_file* vt_fopen(const char* name, int32_t type, int32_t access, uint32_t flags, int32_t record_length) {
  int32_t handle = -1;
  int32_t result = vt_basalt_open(name, type, access, flags, record_length, &handle);
  return Adopt(result, handle, type);
}

vt_file* vt_tmpfile(int32_t type, int32_t record_length) {
  int32_t handle = -1;
  int32_t result = vt_basalt_open_temp(type, record_length, &handle);
  return Adopt(result, handle, type);
}

int32_t vt_fclose(vt_file* file) {
  if (file == NULL) return Fail(VT_E_ARGUMENT);
  if (vt_is_console_slot(file)) vt_fflush(file);
  int32_t result = vt_basalt_close(file->handle, file->removeOnClose ? VT_DELETE : VT_KEEP);
  if (vt_is_console_slot(file)) {
    vt_forget_console(file);
  } else {
    free(file->input);
    free(file);
  }
  return result == VT_OK ? VT_OK : Fail(result);
}

void vt_fremove_on_close(vt_file* file, int on) {
  if (file) file->removeOnClose = on != 0;
}

int32_t vt_fhandle(const vt_file* file) {
  return file ? file->handle : -1;
}

int32_t vt_ftype(const vt_file* file) {
  return file ? file->type : -1;
}

static int32_t Checked(int32_t result) {
  return result == VT_OK ? VT_OK : Fail(result);
}

int32_t vt_fseek(vt_file* file, int32_t offset) {
  if (file == NULL) return Fail(VT_E_ARGUMENT);
  vt_drop_input(file);
  return Checked(vt_basalt_seek(file->handle, offset));
}

int32_t vt_fsize(vt_file* file, uint32_t* size) {
  if (file == NULL) return Fail(VT_E_ARGUMENT);
  return Checked(vt_basalt_size(file->handle, size));
}

int32_t vt_fname(vt_file* file, char* name, size_t capacity) {
  if (file == NULL) return Fail(VT_E_ARGUMENT);
  return Checked(vt_basalt_name(file->handle, name, capacity));
}

/* ---- Records ----------------------------------------------------------------- */

static int IsFixed(const vt_file* file) {
  return file->type == VT_REC_FIXED || file->type == VT_REC_FIXED2;
}

/* Writes a record's data after its first call's control bits; pieces after
   the first go without them, the last one ends the record. */
static int32_t WritePieces(vt_file* file, uint32_t control, int32_t length, const uint8_t* data, size_t n,
                           int end) {
  vt_drop_input(file);
  /* A record on a console stream keeps its place among buffered writes. */
  if (vt_is_console_slot(file)) vt_flush_consoles();
  do {
    uint32_t part = n < VT_TRANSFER_MAX ? (uint32_t)n : VT_TRANSFER_MAX;
    uint32_t bits = control | (end && part == n ? VT_REC_END : 0u);
    int32_t result = vt_basalt_write_record(file->handle, bits, length, data, part);
    if (result != VT_OK) return Fail(result);
    control = 0;
    data += part;
    n -= part;
  } while (n > 0);
  return VT_OK;
}

int32_t vt_fwrite_record(vt_file* file, const void* data, size_t n) {
  if (file == NULL || IsFixed(file) || n > INT32_MAX) return Fail(VT_E_ARGUMENT);
  return WritePieces(file, VT_REC_BEGIN, (int32_t)n, data, n, 1);
}

int32_t vt_fwrite_line(vt_file* file, const char* text, int newline) {
  if (file == NULL || text == NULL || IsFixed(file)) return Fail(VT_E_ARGUMENT);
  size_t n = strlen(text);
  if (n > INT32_MAX) return Fail(VT_E_ARGUMENT);
  uint32_t control = VT_REC_BEGIN | (newline ? 0u : VT_REC_NO_NEWLINE);
  return WritePieces(file, control, (int32_t)n, (const uint8_t*)text, n, 1);
}

int32_t vt_fwrite_record_at(vt_file* file, uint32_t record, const void* data, size_t n) {
  if (file == NULL || !IsFixed(file) || record == 0 || record > VT_REC_NUMBER_MASK || n > INT32_MAX)
    return Fail(VT_E_ARGUMENT);
  return WritePieces(file, VT_REC_BEGIN | record, (int32_t)n, data, n, 1);
}

int32_t vt_frecord_begin(vt_file* file, int32_t length, const void* data, size_t n) {
  if (file == NULL || IsFixed(file)) return Fail(VT_E_ARGUMENT);
  file->recordLength = length;
  return WritePieces(file, VT_REC_BEGIN, length, data, n, 0);
}

int32_t vt_frecord_add(vt_file* file, const void* data, size_t n) {
  if (file == NULL) return Fail(VT_E_ARGUMENT);
  if (n == 0) return VT_OK;
  return WritePieces(file, 0, file->recordLength, data, n, 0);
}

int32_t vt_frecord_end(vt_file* file) {
  if (file == NULL) return Fail(VT_E_ARGUMENT);
  return WritePieces(file, 0, file->recordLength, NULL, 0, 1);
}

/* Reads a record: the first call begins it and further calls fetch the rest
   up to capacity. Reading is left open (the next record's first call moves
   on), except on type 2, where a separate empty call ends the record once the
   data's position has been counted, so that exactly the rest of the record and
   its trailer are skipped. The end mark is reported only by a call without
   the end bit, whose result nothing else can replace. */
static int32_t ReadRecord(vt_file* file, uint32_t control, void* buffer, size_t capacity, int32_t* length,
                          size_t* got) {
  vt_drop_input(file);
  uint8_t* at = buffer;
  uint32_t first = capacity < VT_TRANSFER_MAX ? (uint32_t)capacity : VT_TRANSFER_MAX;
  int32_t recordLength = 0;
  uint32_t count = 0;
  int32_t result = vt_basalt_read_record(file->handle, control, first, at, first, &recordLength, &count);
  size_t total = count;
  if (length) *length = recordLength;
  if (result == VT_OK) {
    size_t want = recordLength > 0 ? (size_t)recordLength : 0;
    if (want > capacity) want = capacity;
    /* Type 0 transfers only in the call that begins its record. */
    while (file->type != VT_REC_BINARY && total < want && count > 0) {
      uint32_t part = want - total < VT_TRANSFER_MAX ? (uint32_t)(want - total) : VT_TRANSFER_MAX;
      int32_t ignored;
      result = vt_basalt_read_record(file->handle, 0, part, at + total, part, &ignored, &count);
      total += count;
      if (result != VT_OK) break;
    }
    if (file->type == VT_REC_COUNTED) {
      int32_t ended = vt_basalt_read_record(file->handle, VT_REC_END, 0, NULL, 0, NULL, NULL);
      if (result == VT_OK) result = ended;
    }
  }
  if (got) *got = total;
  return Checked(result);
}

int32_t vt_fread_record(vt_file* file, void* buffer, size_t capacity, int32_t* length, size_t* got) {
  if (got) *got = 0;
  if (file == NULL || IsFixed(file)) return Fail(VT_E_ARGUMENT);
  return ReadRecord(file, VT_REC_BEGIN, buffer, capacity, length, got);
}

int32_t vt_fread_record_at(vt_file* file, uint32_t record, void* buffer, size_t capacity, int32_t* length,
                           size_t* got) {
  if (got) *got = 0;
  if (file == NULL || !IsFixed(file) || record == 0 || record > VT_REC_NUMBER_MASK)
    return Fail(VT_E_ARGUMENT);
  return ReadRecord(file, VT_REC_BEGIN | record, buffer, capacity, length, got);
}

int32_t vt_fbackspace(vt_file* file) {
  if (file == NULL) return Fail(VT_E_ARGUMENT);
  vt_drop_input(file);
  return Checked(vt_basalt_backspace(file->handle));
}

int32_t vt_frewind(vt_file* file) {
  if (file == NULL) return Fail(VT_E_ARGUMENT);
  vt_drop_input(file);
  return Checked(vt_basalt_rewind(file->handle));
}

int32_t vt_fendfile(vt_file* file) {
  if (file == NULL) return Fail(VT_E_ARGUMENT);
  vt_drop_input(file);
  return Checked(vt_basalt_end_file(file->handle));
}

/* ---- File management ------------------------------------------------------------ */

int vt_fexists(const char* name) {
  return vt_basalt_exists(name) == VT_OK;
}

int32_t vt_frename(const char* old_name, const char* new_name) {
  return Checked(vt_basalt_rename(old_name, new_name));
}

/* The cluster deletes files only when closing them. */
int32_t vt_fremove(const char* name) {
  int32_t handle = -1;
  int32_t result = vt_basalt_open(name, VT_REC_BINARY, VT_READ, 0, 0, &handle);
  if (result != VT_OK || handle < 0) return Fail(result != VT_OK ? result : VT_FAILURE);
  return Checked(vt_basalt_close(handle, VT_DELETE));
}
