#!/usr/bin/env bash
# Installs what is missing, builds in build/, makes a sample scan when no file is given and prints
# the facts of the scan.
set -u
PELNOR_ROOT="$(cd "$(dirname "$0")/.." && pwd)"
. "$PELNOR_ROOT/tools/deps.sh"
pelnor_install_missing

pelnor_build "$PELNOR_ROOT/build"
file="${1:-}"
if [ -z "$file" ]; then
    mkdir -p "$PELNOR_ROOT/build/samples"
    file="$PELNOR_ROOT/build/samples/scan.pt"
    "$PELNOR_ROOT/build/bin/pelnor" sample "$file" || exit 1
fi
exec "$PELNOR_ROOT/build/bin/pelnor" info "$file"
