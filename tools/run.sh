#!/usr/bin/env bash
# Installs what is missing, builds in build/ and starts the viewer on FILE. Without FILE it makes
# the sample scans under build/samples/ (a raw capture, a finished frame and a 3D video) and
# opens the raw capture.
set -u
PELNOR_ROOT="$(cd "$(dirname "$0")/.." && pwd)"
. "$PELNOR_ROOT/tools/deps.sh"
pelnor_install_missing

pelnor_build "$PELNOR_ROOT/build"
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
