#!/usr/bin/env bash
# Builds the benchmarks in Release (build-bench/) and runs them: the server's
# cost per request and per byte against the raw transport, as one table, then
# the windowed parts (graph window, graph cluster through veltra-run, Hostrix's
# terminal and console against veltra-run), drawn off screen.
# Arguments go to veltra-bench, e.g.
#   scripts/bench.sh --scale=0.1 --trials=1        a quick look
#   scripts/bench.sh --benchmark_filter=bulk       some figures only
set -euo pipefail
source "$(dirname "$0")/setup.sh"
veltra_install_missing

dir="$VELTRA_ROOT/build-bench"
log="$dir/bench-build.log"
mkdir -p "$dir"
# Only what the benchmarks run is built; the build's chatter goes to a log.
if ! { cmake -S "$VELTRA_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release &&
       cmake --build "$dir" -j "$(nproc)" --target veltra-bench graph-bench graph-cluster-bench hostrix-bench; } \
     >"$log" 2>&1; then
  tail -n 40 "$log" >&2
  echo "bench.sh: the build failed; the whole log is in $log" >&2
  exit 1
fi
status=0
"$dir/bin/veltra-bench" "$@" || status=$?
export QT_QPA_PLATFORM=offscreen
echo
echo "Graph window: Show of 1024 points into 640 x 480, full repaint, allocations per Show"
"$dir/bin/graph-bench" || status=$?
echo
echo "Graph cluster through veltra-run: Show of 1024 points, AppendData streaming"
"$dir/bin/graph-cluster-bench" || status=$?
echo
echo "Hostrix: the terminal store alone, and console throughput against veltra-run"
"$dir/bin/hostrix-bench" || status=$?
exit "$status"
