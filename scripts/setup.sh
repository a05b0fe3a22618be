#!/usr/bin/env bash
# Installs what the build needs on a Debian 12 machine, when it is missing.
# Sourced by the other scripts; safe to run again.
set -euo pipefail

veltra_packages=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev libsqlite3-dev
                 sqlite3 clang libclang-rt-14-dev
                 # Qt 6 Widgets for the GUI host and the windowed plug-ins; a font so that
                 # off-screen renders have glyphs; Xvfb, ImageMagick and xdotool for screenshots.
                 qt6-base-dev qt6-base-dev-tools libgl-dev fonts-dejavu-core xvfb xauth imagemagick xdotool
                 # the package test validates the menu entry; the file-type test reads the
                 # shared MIME database (only recommended by Qt's dependencies)
                 desktop-file-utils shared-mime-info)

veltra_install_missing() {
  local missing=()
  for p in "${veltra_packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
  fi
}

# veltra_build DIR [cmake options...]: configure and build into DIR.
veltra_build() {
  local dir=$1
  shift
  local launcher=()
  # A compiler cache, where the machine has one, makes rebuilds of a clean tree cheap.
  if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    # Paths relative to the checkout, so that another clone of the same
    # sources finds what this one compiled.
    export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$VELTRA_ROOT} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-true}
  fi
  cmake -S "$VELTRA_ROOT" -B "$dir" -G Ninja "${launcher[@]}" "$@"
  cmake --build "$dir" -j "$(nproc)"
}

VELTRA_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export VELTRA_ROOT
