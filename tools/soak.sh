#!/usr/bin/env bash
# Plays the sample 3D video in the viewer for MINUTES (default 30) and prints the viewer's resident
# memory every ten seconds: playback allocates nothing per frame, so the column must stay flat. Not
# part of the suite, as it runs as long as it is told. Without a display it runs itself under
# xvfb-run. PELNOR_VIEWER and PELNOR name the programs (default build/bin/), and SEQUENCE the file
# to play (default build/samples/walk.ptv, made with `pelnor sample` when missing).
set -u
PELNOR_ROOT="$(cd "$(dirname "$0")/.." && pwd)"
PELNOR_VIEWER="${PELNOR_VIEWER:-$PELNOR_ROOT/build/bin/pelnor-viewer}"
PELNOR="${PELNOR:-$PELNOR_ROOT/build/bin/pelnor}"
SEQUENCE="${SEQUENCE:-$PELNOR_ROOT/build/samples/walk.ptv}"
MINUTES="${1:-30}"
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1920x1080x24" "$0" "$@"
fi
if [ ! -f "$SEQUENCE" ]; then
    mkdir -p "$(dirname "$SEQUENCE")" && "$PELNOR" sample "$SEQUENCE" || exit 1
fi
# The viewer remembers nothing of this run in the user's own settings.
settings="$(mktemp -d)"
XDG_CONFIG_HOME="$settings" "$PELNOR_VIEWER" "$SEQUENCE" >/dev/null 2>&1 &
viewer=$!
trap 'kill "$viewer" 2>/dev/null; wait "$viewer" 2>/dev/null; rm -rf "$settings"' EXIT

start=$SECONDS
end=$((start + MINUTES * 60))
first=""
echo "seconds  resident KiB"
while [ "$SECONDS" -lt "$end" ]; do
    sleep 10
    resident=$(awk '/^VmRSS:/ {print $2}' "/proc/$viewer/status" 2>/dev/null)
    if [ -z "$resident" ]; then
        echo "soak.sh: the viewer ended after $((SECONDS - start)) s" >&2
        exit 1
    fi
    [ -n "$first" ] || first=$resident
    printf '%7d  %12d\n' "$((SECONDS - start))" "$resident"
done
echo "first $first KiB, last $resident KiB, change $((resident - first)) KiB"
