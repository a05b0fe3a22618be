/* Sends a software exception report: severity "error" (0x12 & 15 = 2),
   processor 2. */
#include "veltra_target.h"

static int Exception(int argc, char** argv) {
  (void)argc;
  (void)argv;
  int32_t result = vt_core_exception(0x12, 2, 0xdeadbeef, 0x1234);
  if (result != VT_OK) {
    vt_eprintf("exception: report refused with %d\n", (int)result);
    return 1;
  }
  vt_printf("reported\n");
  return 0;
}

VT_MAIN(Exception)
