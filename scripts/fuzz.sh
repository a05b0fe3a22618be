#!/usr/bin/env bash
# Builds the fuzz target of the serve path with clang (build-fuzz/) and runs a
# short pass from the committed seed corpus. A crash, hang, leak or sanitizer
# report fails the script and leaves the reproducer in build-fuzz/findings/.
#   scripts/fuzz.sh              a 60-second pass
#   scripts/fuzz.sh SECONDS      another length
# Longer runs: see docs/reliability.md.
set -euo pipefail
source "$(dirname "$0")/setup.sh"
veltra_install_missing

seconds=${1:-60}
dir="$VELTRA_ROOT/build-fuzz"
log="$dir/fuzz-build.log"
mkdir -p "$dir"
if ! { CC=clang CXX=clang++ cmake -S "$VELTRA_ROOT" -B "$dir" -G Ninja -DVELTRA_FUZZ=ON -DVELTRA_BUILD_TESTS=OFF \
         -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
       cmake --build "$dir" -j "$(nproc)" --target serve_fuzzer; } >"$log" 2>&1; then
  tail -n 40 "$log" >&2
  echo "fuzz.sh: the build failed; the whole log is in $log" >&2
  exit 1
fi

# The committed corpus stays as it is: new inputs go to a scratch copy.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$VELTRA_ROOT"/fuzz/corpus/* "$work/"
mkdir -p "$dir/findings"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# -close_fd_mask=2: the console streams of the inputs write to the process's
# own standard error; the fuzzer's report keeps a stream of its own.
"$dir/bin/serve_fuzzer" "$work" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=16384 \
  -close_fd_mask=2 -print_final_stats=1 -artifact_prefix="$dir/findings/"
