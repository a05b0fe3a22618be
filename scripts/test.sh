#!/usr/bin/env bash
# Builds everything and runs every test.
#   scripts/test.sh             normal build in build/
#   scripts/test.sh --sanitize  AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
#   scripts/test.sh --thread    ThreadSanitizer build in build-tsan/ (slow; not part of CI)
set -euo pipefail
source "$(dirname "$0")/setup.sh"
veltra_install_missing

dir="$VELTRA_ROOT/build"
options=()
if [ "${1:-}" = "--sanitize" ]; then
  dir="$VELTRA_ROOT/build-asan"
  options+=(-DVELTRA_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
  # Leaks are errors, except the link manager that lives as long as the process.
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export LSAN_OPTIONS="suppressions=$VELTRA_ROOT/tests/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
elif [ "${1:-}" = "--thread" ]; then
  dir="$VELTRA_ROOT/build-tsan"
  options+=(-DVELTRA_SANITIZE=thread -DCMAKE_BUILD_TYPE=Debug)
  export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$VELTRA_ROOT/tests/tsan.supp"
fi
veltra_build "$dir" "${options[@]}"

# Tests never read or write the user's real settings.
export VELTRA_CONFIG_DIR
VELTRA_CONFIG_DIR=$(mktemp -d)
trap 'rm -rf "$VELTRA_CONFIG_DIR"' EXIT
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)"
