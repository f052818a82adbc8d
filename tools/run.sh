#!/usr/bin/env bash
# Installs what is missing, builds in build/ and starts the viewer on FILE. Without FILE it makes
# the sample scans under build/samples/ (a raw capture, a finished frame and a 3D video) and
# opens the raw capture.
set -u
PELNOR_ROOT="$(cd "$(dirname "$0")/.." && pwd)"
. "$PELNOR_ROOT/tools/deps.sh"
pelnor_install_missing

# Only the two programs: a first start should not wait for the tests to compile.
cmake -S "$PELNOR_ROOT" -B "$PELNOR_ROOT/build" >/dev/null || exit 1
cmake --build "$PELNOR_ROOT/build" -j "$(nproc)" --target pelnor pelnor-viewer || exit 1
file="${1:-}"
if [ -z "$file" ]; then
    samples="$PELNOR_ROOT/build/samples"
    mkdir -p "$samples"
    for sample in scan.pt scan.xyzm walk.ptv; do
        [ -f "$samples/$sample" ] || "$PELNOR_ROOT/build/bin/pelnor" sample "$samples/$sample" || exit 1
    done
    file="$samples/scan.pt"
fi
exec "$PELNOR_ROOT/build/bin/pelnor-viewer" "$file"
