#!/usr/bin/env bash
# Builds a Release of the two programs and the Python module in build-package/ and makes the Debian
# package there: build-package/pelnor-viewer_VERSION_ARCH.deb. Install it with apt-get install ./build-package/*.deb
set -u
PELNOR_ROOT="$(cd "$(dirname "$0")/.." && pwd)"
. "$PELNOR_ROOT/tools/deps.sh"
pelnor_install_missing
dir="$PELNOR_ROOT/build-package"
rm -f "$dir"/pelnor-viewer_*.deb
# The package carries only the programs and the module, so the tests are not built for it.
cmake -S "$PELNOR_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null || exit 1
cmake --build "$dir" -j "$(nproc)" --target pelnor pelnor-viewer pelnor_python || exit 1
(cd "$dir" && cpack -G DEB >/dev/null) || exit 1
ls "$dir"/pelnor-viewer_*.deb
