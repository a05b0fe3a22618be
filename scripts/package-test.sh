#!/usr/bin/env bash
# Checks the installable server end to end:
#   1. `cmake --install` into a scratch prefix: the installed veltra-run runs an
#      installed example from another directory while the build tree's bin/ is
#      out of the way, and a small application builds against the installed
#      run-time with CMake and with pkg-config;
#   2. the Debian package installs with apt-get, its veltra-run greets, the
#      desktop files are in place, and removing it leaves nothing behind.
# Needs root (or sudo) for step 2.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
package=$("$here/package.sh")
source "$here/setup.sh"
dir="$VELTRA_ROOT/build-package"
greeting="Hello from the Veltra DSP network!"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

work=$(mktemp -d)
export VELTRA_CONFIG_DIR="$work/config"
cleanup() {
  [ -d "$dir/bin.away" ] && mv "$dir/bin.away" "$dir/bin"
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "package-test: $*" >&2
  exit 1
}

# expect_greeting PREFIX: runs PREFIX/bin/veltra-run on the installed hello example.
expect_greeting() {
  local out
  out=$(cd "$work" && env PATH=/usr/bin:/bin "$1/bin/veltra-run" "$1/lib/veltra/examples/hello.app") ||
    fail "$1/bin/veltra-run failed: $out"
  [[ "$out" == *"$greeting"* ]] || fail "no greeting from $1/bin/veltra-run, got: $out"
}

# expect_complete PREFIX: every program in PREFIX/lib/veltra/bin has its
# launcher in PREFIX/bin, and every program and library there finds what it
# links with.
expect_complete() {
  local f missing
  for f in "$1"/lib/veltra/bin/*; do
    if [[ "$f" != *.so ]]; then
      [ "$(readlink -f "$1/bin/${f##*/}")" = "$(readlink -f "$f")" ] || fail "no launcher for $f"
    fi
    missing=$(ldd "$f" 2>&1 | grep "not found" || true)
    [ -z "$missing" ] || fail "$f: $missing"
  done
}

# build_own_application PREFIX: a user's application, built against PREFIX
# once with CMake and once with pkg-config, then run by PREFIX's veltra-run.
build_own_application() {
  local prefix=$1 src="$work/own"
  rm -rf "$src"
  mkdir -p "$src"
  cat >"$src/mine.c" <<'APP'
#include "veltra_target.h"

static int Mine(int argc, char** argv) {
  vt_printf("mine: %d argument(s), first %s\n", argc - 1, argc > 1 ? argv[1] : "none");
  return 0;
}

VT_MAIN(Mine)
APP
  cat >"$src/CMakeLists.txt" <<'APP'
cmake_minimum_required(VERSION 3.20)
project(Mine C)
find_package(VeltraTarget 1 REQUIRED)
veltra_application(mine mine.c)
APP
  cmake -S "$src" -B "$src/build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
  cmake --build "$src/build" >/dev/null
  local out
  out=$(cd "$work" && "$prefix/bin/veltra-run" --args first "$src/build/mine.app")
  [[ "$out" == *"mine: 1 argument(s), first first"* ]] || fail "CMake-built application said: $out"

  local pcPath
  pcPath=$(dirname "$(find "$prefix" -name veltra-target.pc | head -n 1)")
  # shellcheck disable=SC2046
  cc -o "$src/pc.app" "$src/mine.c" $(PKG_CONFIG_PATH="$pcPath" pkg-config --cflags --libs veltra-target)
  out=$(cd "$work" && "$prefix/bin/veltra-run" "$src/pc.app")
  [[ "$out" == *"mine: 0 argument(s), first none"* ]] || fail "pkg-config-built application said: $out"
}

echo "== cmake --install into a scratch prefix"
prefix="$work/prefix"
cmake --install "$dir" --prefix "$prefix" >/dev/null
mv "$dir/bin" "$dir/bin.away"
expect_complete "$prefix"
expect_greeting "$prefix"
build_own_application "$prefix"
# Nothing the tests build is part of an installation.
leaked=$(find "$prefix" \( -name '*test*' -o -name '*Test*' -o -name 'Plexa_7*' -o -name '*bench*' \) -print)
[ -z "$leaked" ] || fail "test artefacts installed: $leaked"
mv "$dir/bin.away" "$dir/bin"

echo "== Debian package $package"
if dpkg-query -W -f='${Status}' veltra 2>/dev/null | grep -q "install ok installed"; then
  fail "a veltra package is installed already; remove it first"
fi
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "$package" >/dev/null
files=$(dpkg-query -L veltra)
removed=""
remove() {
  [ -n "$removed" ] && return
  removed=1
  DEBIAN_FRONTEND=noninteractive $sudo apt-get remove -y veltra >/dev/null
}
trap 'remove; cleanup' EXIT
for f in /usr/bin/veltra-run /usr/bin/veltra-settings /usr/lib/veltra/bin/Orvcore.so \
         /usr/share/applications/hostrix.desktop /usr/share/mime/packages/veltra-application.xml \
         /usr/share/icons/hicolor/scalable/apps/hostrix.svg; do
  [ -e "$f" ] || fail "$f is not installed"
done
# The menu entry as desktops read it (the validator is optional here).
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate /usr/share/applications/hostrix.desktop || fail "hostrix.desktop does not validate"
fi
expect_complete /usr
expect_greeting /usr
out=$(cd "$work" && /usr/bin/veltra-run --args "one two" /usr/lib/veltra/examples/args.app)
[[ "$out" == *"argc=3"* ]] || fail "args.app said: $out"
build_own_application /usr

remove
dpkg-query -W -f='${Status}' veltra 2>/dev/null | grep -q "install ok installed" && fail "veltra still installed"
left=""
while IFS= read -r f; do
  # Directories that other packages share stay; every file of ours goes.
  if { [ -e "$f" ] || [ -L "$f" ]; } && [ ! -d "$f" ]; then left+="$f "; fi
done <<<"$files"
[ -d /usr/lib/veltra ] && left+="/usr/lib/veltra "
[ -z "$left" ] || fail "left behind after removal: $left"
echo "package-test: all passed"
