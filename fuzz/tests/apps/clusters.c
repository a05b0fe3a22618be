/* For the fault tests: probes the cluster whose number (hexadecimal) is the
 * first argument and prints the result, then asks for its service 1, which a
 * cluster that cannot be loaded never answers. */
#include <stdlib.h>

#include "veltra_target.h"

static int Clusters(int argc, char** argv) {
  if (argc < 2) return 2;
  uint32_t cluster = (uint32_t)strtoul(argv[1], NULL, 16);
  vt_begin(cluster, 0, 0);
  vt_printf("probe: %d\n", (int)vt_call());
  vt_begin(cluster, 1, 0);
  vt_printf("service 1: %d\n", (int)vt_call());
  return 0;
}

VT_MAIN(Clusters)
