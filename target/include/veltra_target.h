/*
 * Run-time library for applications on the (simulated) Veltra DSP network.
 *
 * An application talks to its host server over one link: a connected stream
 * socket whose descriptor number the simulator passes in VELTRA_LINK_FD. Every
 * request names a service cluster and a service; the server answers with one
 * reply block holding the reply values followed by the result word.
 *
 * Layers, bottom up:
 *   - the link: attaching, host-semaphore signals (vt_attach, vt_poll_signals);
 *   - the generic request API (vt_begin, vt_put_*, vt_call, vt_get_*), usable
 *     for clusters of one's own;
 *   - one function per service of the standard clusters (vt_basalt_*,
 *     vt_core_*, vt_debug_*, vt_debugger_*, vt_graph_*, vt_panel_*); each returns
 *     the result word and hands reply values back through out-parameters;
 *   - a small stdio layer (vt_printf, vt_fgets, vt_fopen, records, vt_exit).
 *
 * The library keeps one link per process and is not thread-safe: call it from
 * one thread only.
 *
 * Typical program:
 *
 *   static int app(int argc, char** argv) {
 *     vt_printf("%d arguments\n", argc - 1);
 *     return 0;
 *   }
 *   VT_MAIN(app)
 *
 * or, written out: main() calls vt_init(&argc, &argv) first and ends with
 * vt_exit(status).
 */
#ifndef VELTRA_TARGET_H
#define VELTRA_TARGET_H

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define VT_NORETURN __attribute__((noreturn))
#define VT_PRINTF(f, a) __attribute__((format(printf, f, a)))
#else
#define VT_NORETURN
#define VT_PRINTF(f, a)
#endif

/* ---- Link limits ------------------------------------------------------- */

#define VT_BLOCK_MAX 8292u        /* data bytes of one block */
#define VT_BYTES_MAX 8288u        /* longest byte string (count word + bytes fill a block) */
#define VT_TRANSFER_MAX 4096u     /* the server's transfer buffers */
#define VT_SIGNAL_LENGTH 0x10004u /* length word of a signal block */
#define VT_NO_REPLY 0x80000000u   /* request word bit: the server sends no reply */

/* ---- Cluster numbers --------------------------------------------------- */

#define VT_CLUSTER_BASALT 0x000u
#define VT_CLUSTER_CORE 0x001u
#define VT_CLUSTER_DEBUG 0x004u
#define VT_CLUSTER_DEBUGGER 0x005u
#define VT_CLUSTER_COMBINED 0x300u /* graph services 1-10, panel services 11-21 */
#define VT_CLUSTER_GRAPH 0x301u
#define VT_CLUSTER_PANEL 0x310u

/* ---- Result words ------------------------------------------------------ */

#define VT_OK 0
#define VT_EOF 1
#define VT_BAD_TYPE 3
#define VT_BAD_ACCESS 4
#define VT_BAD_FLAGS 5
#define VT_COUNT_TOO_BIG 6
#define VT_BAD_SELECTOR 7
#define VT_NO_STREAM 8
#define VT_BAD_DISPOSITION 9
#define VT_NOT_ON_COMMAND_LINE 10
#define VT_COPY_FAILED 12
#define VT_FAILURE 99
#define VT_TABLE_FULL 100
#define VT_NOT_FOUND 101
#define VT_NO_CLUSTER 128
/* Never sent by a server: the request was not sent because an argument does
   not fit (a byte string too long for a block or for the service), or a file
   operation was given no file. */
#define VT_E_ARGUMENT ((int32_t)0x80000001)

/* ---- Link -------------------------------------------------------------- */

/* Attaches to the descriptor named by VELTRA_LINK_FD. A missing or unusable
   descriptor is reported on stderr and ends the process with status 127. */
void vt_attach(void);
/* Attaches to an already open link descriptor (tests, custom launchers).
   Resets all link and stdio state of an earlier attachment. */
void vt_attach_fd(int fd);
/* The attached descriptor, or -1. */
int vt_link_fd(void);

/* ---- Generic requests -------------------------------------------------- */

/* Starts a request. flags: 0 or VT_NO_REPLY. */
void vt_begin(uint32_t cluster, uint32_t service, uint32_t flags);
void vt_put_word(uint32_t value);
void vt_put_int(int32_t value);
/* 8 bytes, IEEE 754, low word first. */
void vt_put_double(double value);
/* Count word, n bytes, padding to a multiple of 4. A string never straddles
   blocks: if it does not fit the rest of the block, a new block starts. n above
   VT_BYTES_MAX spoils the request: vt_call then sends nothing. */
void vt_put_bytes(const void* data, uint32_t n);
/* strlen(text) bytes, without the terminating zero. */
void vt_put_string(const char* text);
/* Sends the request and, unless it was begun with VT_NO_REPLY, waits for the
   reply and returns its result word (0 for a no-reply request). Returns
   VT_E_ARGUMENT, without sending, for a spoiled request. */
int32_t vt_call(void);
/* Sends the request and never waits, whatever its flags (for services that
   decide themselves not to reply). */
int32_t vt_send(void);

/* Reply values of the last vt_call, in order. Each returns 0 on success and
   -1 when the reply holds no further value of that kind (the output is then
   zeroed). */
int vt_get_word(uint32_t* value);
int vt_get_int(int32_t* value);
int vt_get_double(double* value);
/* Copies min(count, capacity) bytes; *count receives the count the string
   carried (so count > capacity shows truncation). */
int vt_get_bytes(void* destination, uint32_t capacity, uint32_t* count);
/* Copies the string and terminates it within capacity (capacity > 0). */
int vt_get_text(char* destination, size_t capacity);
/* Points at the next string inside the reply; valid until the next request. */
const void* vt_get_bytes_ref(uint32_t* count);
/* Reply bytes not read yet. */
uint32_t vt_reply_remaining(void);

/* ---- Host-semaphore signals -------------------------------------------- */

/* Signal blocks may arrive at any time and are collected in a pending mask;
   mask bit n is host semaphore n. */

/* Takes in the signal blocks already readable without blocking, then returns
   and clears the pending bits of mask. */
uint32_t vt_poll_signals(uint32_t mask);
/* Blocks until a bit of mask is pending; returns and clears those bits. */
uint32_t vt_wait_signals(uint32_t mask);
/* 1 when host semaphore n (0..31) was signalled (and consumes it), else 0. */
int vt_poll_semaphore(int n);
void vt_wait_semaphore(int n);

/* ---- Basalt cluster (0): streams, files and records -------------------- */

/* Record types. */
#define VT_REC_BINARY 0  /* unstructured */
#define VT_REC_TEXT 1    /* lines ending "\n" */
#define VT_REC_COUNTED 2 /* length word, data, length word */
#define VT_REC_CRLF 3    /* lines ending "\r\n" */
#define VT_REC_FIXED 4   /* fixed length, addressed by record number from 1 */
#define VT_REC_FIXED2 5  /* as type 4 */

/* Access modes and open flags of vt_basalt_open / vt_fopen. */
#define VT_READ 0
#define VT_WRITE 1
#define VT_UPDATE 2
#define VT_CREATE 1u /* create (or truncate) */
#define VT_AT_END 2u /* position at the end after opening */

/* Record control word (services 15 and 16). */
#define VT_REC_BEGIN 0x80000000u       /* begins a new record */
#define VT_REC_END 0x40000000u         /* ends the transfer after this call */
#define VT_REC_NO_NEWLINE 0x20000000u  /* writing types 1 and 3: no newline */
#define VT_REC_NUMBER_MASK 0x03FFFFFFu /* record number, types 4 and 5 */
#define VT_REC_UNKNOWN_LENGTH (-1)     /* type 2 record written before its length is known */

/* Close dispositions. */
#define VT_KEEP 0
#define VT_DELETE 1

int32_t vt_basalt_open(const char* name, int32_t type, int32_t access, uint32_t flags, int32_t record_length,
                       int32_t* handle);                                           /* 1 */
int32_t vt_basalt_open_temp(int32_t type, int32_t record_length, int32_t* handle); /* 2 */
int32_t vt_basalt_open_input(int32_t selector, int32_t* handle);     /* 3: 0 stdin, 1 command line */
int32_t vt_basalt_open_output(int32_t selector, int32_t* handle);    /* 4: 0 stdout, 1 stderr */
int32_t vt_basalt_record_type(int32_t handle, int32_t* type);        /* 5 */
int32_t vt_basalt_status(int32_t handle);                            /* 6 */
int32_t vt_basalt_name(int32_t handle, char* name, size_t capacity); /* 7 */
int32_t vt_basalt_size(int32_t handle, uint32_t* size);              /* 8 */
int32_t vt_basalt_device_info(int32_t handle, int32_t info[3]);      /* 9 */
int32_t vt_basalt_close(int32_t handle, int32_t disposition);        /* 11 */
/* 12: asks for n (<= 4096) bytes. A standard-input stream answers with one
   line of up to 4095 characters whatever n is: pass capacity 4096 there.
   *got receives the bytes copied (at most capacity). */
int32_t vt_basalt_read(int32_t handle, uint32_t n, void* buffer, uint32_t capacity, uint32_t* got);
int32_t vt_basalt_write(int32_t handle, const void* data, uint32_t n, uint32_t* written); /* 13 */
int32_t vt_basalt_seek(int32_t handle, int32_t offset);                                   /* 14 */
/* 15: *length receives the record length word, *got the bytes copied. */
int32_t vt_basalt_read_record(int32_t handle, uint32_t control, uint32_t n, void* buffer, uint32_t capacity,
                              int32_t* length, uint32_t* got);
int32_t vt_basalt_write_record(int32_t handle, uint32_t control, int32_t record_length, const void* data,
                               uint32_t n);                   /* 16 */
int32_t vt_basalt_backspace(int32_t handle);                  /* 17 */
int32_t vt_basalt_rewind(int32_t handle);                     /* 18 */
int32_t vt_basalt_end_file(int32_t handle);                   /* 19 */
int32_t vt_basalt_exists(const char* name);                   /* 21: 0 or 101 */
int32_t vt_basalt_readable(const char* name);                 /* 22: 0 or 99 */
int32_t vt_basalt_stream_kind(int32_t handle, int32_t* kind); /* 23 */
/* 24: ends one task. w = 0 waits for the reply; any other w makes the server
   send none. */
int32_t vt_basalt_exit_task(int32_t w);
int32_t vt_basalt_set_exit_status(int32_t status);                    /* 25 */
int32_t vt_basalt_system(const char* command);                        /* 26: the command's status */
int32_t vt_basalt_rename(const char* old_name, const char* new_name); /* 27 */
int32_t vt_basalt_time(uint32_t* seconds);                            /* 28: since 1970-01-01 UTC */
int32_t vt_basalt_reserved29(void);                                   /* 29: answers 99 */
int32_t vt_basalt_peek(uint32_t address, uint32_t count, void* buffer, uint32_t capacity,
                       uint32_t* got);                                                   /* 30 */
int32_t vt_basalt_poke(uint32_t address, const void* data, uint32_t n, uint32_t* count); /* 31 */
int32_t vt_basalt_reserved32(void);                                                      /* 32: answers 99 */
int32_t vt_basalt_reserved33(void);                                                      /* 33: answers 99 */
int32_t vt_basalt_reserved34(uint32_t value, int32_t* reply);                            /* 34: answers 99 */
int32_t vt_basalt_getenv(const char* name, char* value, size_t capacity);                /* 35 */
int32_t vt_basalt_port_in(uint32_t port, int32_t* value);                                /* 36 */
int32_t vt_basalt_port_out(uint32_t port, uint32_t value);                               /* 37 */
int32_t vt_basalt_set_task_count(int32_t count);                                         /* 38 */
int32_t vt_basalt_set_input_title(const char* title);                                    /* 39 */

/* ---- Core (1), debug (4) and debugger-interface (5) clusters ----------- */

/* Software exception report; severity = a & 15 (0 information .. 3 fatal),
   b the processor number. */
int32_t vt_core_exception(uint32_t a, uint32_t b, uint32_t c, uint32_t d); /* 1/1 */
int32_t vt_core_get_command_line(char* name, size_t name_capacity, char* arguments,
                                 size_t arguments_capacity);                                        /* 1/2 */
int32_t vt_core_set_command_line(const char* name, const char* arguments);                          /* 1/3 */
int32_t vt_core_echo(const void* data, uint32_t n, void* buffer, uint32_t capacity, uint32_t* got); /* 1/4 */
int32_t vt_core_sink(const void* data, uint32_t n);                                                 /* 1/5 */
int32_t vt_core_source(uint32_t n, void* buffer, uint32_t capacity, uint32_t* got);                 /* 1/6 */
int32_t vt_core_link_sync(void);                                                                    /* 1/7 */

int32_t vt_debug_value(uint32_t value); /* 4/1: printed by the server process */
int32_t vt_debug_word(uint32_t value);  /* 4/2: ignored by the server */
int32_t vt_debug_char(uint32_t c);      /* 4/3 */

/* 5/1: announces the application to a debugger (a up to 1020 bytes, b up to 1040). */
int32_t vt_debugger_announce(uint32_t w1, uint32_t w2, const void* a, uint32_t na, const void* b,
                             uint32_t nb);
int32_t vt_debugger_nop(void);   /* 5/2 */
int32_t vt_debugger_pause(void); /* 5/3: returns when the user lets the application go on */

/* ---- Graph services (cluster 0x301, also 0x300) ------------------------ */

/* Texts are sent with their terminating zero and cut to 127 characters. */
#define VT_GRAPH_TEXT_MAX 127u
/* Samples that fit one AppendData request block. */
#define VT_GRAPH_APPEND_MAX 1034u

/* Returns the graph handle (the result word). */
int32_t vt_graph_open(uint32_t cluster, const char* settings_name, int32_t capacity);
int32_t vt_graph_close(uint32_t cluster, int32_t graph);
int32_t vt_graph_set_x_title(uint32_t cluster, int32_t graph, const char* title, const char* unit);
int32_t vt_graph_set_y_title(uint32_t cluster, int32_t graph, const char* title, const char* unit);
int32_t vt_graph_set_axis_ranges_phis(uint32_t cluster, int32_t graph, int32_t first_index,
                                      int32_t point_count, double physical_minimum, double physical_size);
int32_t vt_graph_set_axis_ranges_user(uint32_t cluster, int32_t graph, double x_minimum, double x_size,
                                      double y_minimum, double y_size);
int32_t vt_graph_show(uint32_t cluster, int32_t graph);
int32_t vt_graph_pump(uint32_t cluster);
/* Sends the samples in requests of at most VT_GRAPH_APPEND_MAX; returns the
   first non-zero result, else 0. */
int32_t vt_graph_append(uint32_t cluster, int32_t graph, const double* samples, uint32_t n);
int32_t vt_graph_set_title(uint32_t cluster, int32_t graph, const char* title);

/* ---- Control-panel services (cluster 0x310 services 1-9; 0x300 11-21) -- */

/* Every vt_panel_* function takes the cluster: VT_CLUSTER_COMBINED uses the
   combined library's numbers (11-21), any other cluster those of 0x310. */

typedef struct vt_panel_settings {
  int32_t adc_mhz;
  int32_t dac_mhz;
  int32_t pattern_generator; /* "Use DAC as pattern generator" ticked */
  int32_t pattern_frequency; /* 0..100 */
  int32_t pattern_amplitude; /* 0..100 */
  char pattern_file[512];    /* empty: sine wave */
  int32_t terminate;         /* "Terminate" pressed */
} vt_panel_settings;

#define VT_PANEL_SETTINGS_SIZE 536u

int32_t vt_panel_open_status(uint32_t cluster);
/* 1 when the status window is not open or its Terminate was pressed. */
int32_t vt_panel_show_status(uint32_t cluster, const char* text);
int32_t vt_panel_open_input(uint32_t cluster);
/* Returns the amplitude slider (the result word); *frequency receives the
   frequency slider, or -1 when the input window is not open. */
int32_t vt_panel_read_input(uint32_t cluster, int32_t* frequency);
int32_t vt_panel_close_input(uint32_t cluster);
int32_t vt_panel_open_panel(uint32_t cluster);
/* Fields the reply lacks are zero. */
int32_t vt_panel_read_panel(uint32_t cluster, vt_panel_settings* settings);
int32_t vt_panel_close_panel(uint32_t cluster);
/* The module window exists only in the combined library (cluster 0x300). */
int32_t vt_panel_open_module(void);
/* Returns 1 once the user closed the window. Outputs are -1 when the window is
   not open. */
int32_t vt_panel_read_module(int32_t* sampling_mhz, int32_t* trigger_i, int32_t* trigger_q, int32_t* split);
/* 1 for Yes, 0 for No. */
int32_t vt_panel_ask_yes_no(uint32_t cluster, const char* caption, const char* question);

/* ---- Program start and end --------------------------------------------- */

/* Attaches and, when argc/argv are given, replaces them with the command line
   the server gives (program name, then the argument text split on blanks;
   double quotes group blanks into one argument and are removed). */
void vt_init(int* argc, char*** argv);
/* Fetches the command line as vt_init does. The vector and its strings are
   allocated once per call; argv[argc] is NULL. Returns 0, or -1 when out of
   memory. */
int vt_command_line(int* argc, char*** argv);
/* Splits argument text as vt_init does; returns the number of arguments
   stored in argv (at most max_args) and writes the pieces into storage, which
   must hold strlen(text) + 1 bytes. */
int vt_split_arguments(const char* text, char* storage, char** argv, int max_args);
/* Sets the server's exit status, ends the task (the run ends with it) and
   ends the process with status. */
VT_NORETURN void vt_exit(int status);

#define VT_MAIN(entry)              \
  int main(int argc, char** argv) { \
    vt_init(&argc, &argv);          \
    vt_exit((entry)(argc, argv));   \
  }

/* ---- Console and file streams ------------------------------------------ */

typedef struct vt_file vt_file;

/* Console streams, opened on first use (NULL if the server refuses). */
vt_file* vt_stdin(void);
vt_file* vt_stdout(void);
vt_file* vt_stderr(void);

/* Result word of the last vt_f* operation that failed or returned a file. */
int32_t vt_last_result(void);

int vt_printf(const char* format, ...) VT_PRINTF(1, 2);
int vt_eprintf(const char* format, ...) VT_PRINTF(1, 2);
int vt_fprintf(vt_file* file, const char* format, ...) VT_PRINTF(2, 3);
int vt_vfprintf(vt_file* file, const char* format, va_list args);
/* Buffering of the console output streams, as C's setvbuf: standard output
   is line-buffered and standard error unbuffered until changed. A buffer is
   sent when full (size bytes, at most and by default 4096), at a newline when
   line-buffered, before anything goes to the other console stream, before
   console input is asked for, before waiting on the host (signals, the
   debugger's pause, a panel's question), at the end of the task and on
   vt_fflush. What a buffer holds when the process dies otherwise is lost, as
   in C. Host files are never buffered: vt_setvbuf refuses them. */
#define VT_IOFBF 0 /* full buffering */
#define VT_IOLBF 1 /* line buffering */
#define VT_IONBF 2 /* none */
int32_t vt_setvbuf(vt_file* file, int mode, size_t size);
/* Sends what a console output stream holds (NULL: both); other files hold
   nothing. Returns the result of the write that failed, or VT_OK. */
int32_t vt_fflush(vt_file* file);
/* Text and "\n" on the standard output; returns 0 or -1. */
int vt_puts(const char* text);
int vt_fputs(const char* text, vt_file* file);
/* Reads one line, newline included, as fgets does; NULL at the end of input
   with nothing read. Console input reads lines from the server; files of types
   1 and 3 read one record per line; other files read their bytes, up to 4096
   ahead of what was returned (vt_fread takes those first; positioning and
   record calls drop them and act on the server's position). */
char* vt_fgets(char* buffer, int size, vt_file* file);

/* Opens a host file (name relative to the application's directory).
   NULL on failure; vt_last_result() tells why. */
vt_file* vt_fopen(const char* name, int32_t type, int32_t access, uint32_t flags, int32_t record_length);
/* A temporary file, deleted when closed. */
vt_file* vt_tmpfile(int32_t type, int32_t record_length);
/* Closes and frees the file; deletes it when remove-on-close is set. */
int32_t vt_fclose(vt_file* file);
void vt_fremove_on_close(vt_file* file, int on);
int32_t vt_fhandle(const vt_file* file);
int32_t vt_ftype(const vt_file* file);

/* Unstructured transfers, split into 4096-byte pieces. vt_fread returns
   VT_EOF when the end came before n bytes. On console input it returns up to
   n bytes of the line at hand and waits for a new line only when none is left;
   the rest of a line stays for the next vt_fread or vt_fgets. */
int32_t vt_fread(vt_file* file, void* buffer, size_t n, size_t* got);
int32_t vt_fwrite(vt_file* file, const void* data, size_t n);
int32_t vt_fseek(vt_file* file, int32_t offset); /* from the start */
int32_t vt_fsize(vt_file* file, uint32_t* size);
int32_t vt_fname(vt_file* file, char* name, size_t capacity);

/* Records. Sequential types 0-3 use vt_fwrite_record/vt_fread_record; types 4
   and 5 use the _at forms with record numbers from 1. A record longer than
   4096 bytes is sent in several calls (type 0 records are read in one call of
   at most 4096 bytes). vt_fread_record returns VT_EOF at the end mark;
   *length receives the record's length (more than capacity: the rest was
   skipped). */
int32_t vt_fwrite_record(vt_file* file, const void* data, size_t n);
int32_t vt_fwrite_line(vt_file* file, const char* text, int newline); /* types 1, 3 */
int32_t vt_fwrite_record_at(vt_file* file, uint32_t record, const void* data, size_t n);
int32_t vt_fread_record(vt_file* file, void* buffer, size_t capacity, int32_t* length, size_t* got);
int32_t vt_fread_record_at(vt_file* file, uint32_t record, void* buffer, size_t capacity, int32_t* length,
                           size_t* got);
/* A record written in pieces: begin (type 2: length or VT_REC_UNKNOWN_LENGTH,
   patched when the record ends), any number of adds, then end. */
int32_t vt_frecord_begin(vt_file* file, int32_t length, const void* data, size_t n);
int32_t vt_frecord_add(vt_file* file, const void* data, size_t n);
int32_t vt_frecord_end(vt_file* file);
int32_t vt_fbackspace(vt_file* file); /* types 2 and 3 */
int32_t vt_frewind(vt_file* file);
int32_t vt_fendfile(vt_file* file);

/* Host file management. */
int vt_fexists(const char* name); /* 1 or 0 */
int32_t vt_frename(const char* old_name, const char* new_name);
int32_t vt_fremove(const char* name);

#ifdef __cplusplus
}
#endif

#endif /* VELTRA_TARGET_H */
