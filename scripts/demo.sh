#!/usr/bin/env bash
# Builds everything and runs the hello application on the simulated DSP network.
set -euo pipefail
source "$(dirname "$0")/setup.sh"
veltra_install_missing
veltra_build "$VELTRA_ROOT/build-demo" -DVELTRA_BUILD_TESTS=OFF
exec "$VELTRA_ROOT/build-demo/bin/veltra-run" "$VELTRA_ROOT/build-demo/bin/examples/hello"
