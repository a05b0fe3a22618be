#!/usr/bin/env bash
# Builds the Debian package (Release, without tests) in build-package/ and
# prints its path.
#   scripts/package.sh
set -euo pipefail
source "$(dirname "$0")/setup.sh"
# dpkg-shlibdeps works out the package's run-time dependencies.
veltra_packages+=(dpkg-dev)
veltra_install_missing

# Compiler-cache hits across checkouts in different places.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$VELTRA_ROOT}"
dir="$VELTRA_ROOT/build-package"
veltra_build "$dir" -DCMAKE_BUILD_TYPE=Release -DVELTRA_BUILD_TESTS=OFF -DCMAKE_INSTALL_PREFIX=/usr >&2
rm -f "$dir"/*.deb
(cd "$dir" && cpack -G DEB) >&2
package=$(ls "$dir"/*.deb)
echo "$package"
