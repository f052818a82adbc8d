#!/usr/bin/env bash
# Whole-sequence exports against one command per frame, on a 30-frame 1280x1024 sequence:
#  - PLY: `pelnor convert walk.ptv 'ply/walk_%04d.ply'` against 30 runs of `convert --frame K`;
#  - video: `pelnor render walk.ptv walk.mp4 --size 1280x720` against 30 runs of
#    `render --frame K` to PNG, as frames per second.
# Runs itself under xvfb-run when there is no display. PELNOR names the tool (default build/bin/pelnor),
# FRAMES the length of the sequence (default 30).
set -u
PELNOR_ROOT="$(cd "$(dirname "$0")/.." && pwd)"
PELNOR="${PELNOR:-$PELNOR_ROOT/build/bin/pelnor}"
FRAMES="${FRAMES:-30}"
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1920x1080x24" "$0" "$@"
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
"$PELNOR" sample walk.ptv --size 1280x1024 --frames "$FRAMES" --rate 15 || exit 1
last=$((FRAMES - 1))

# Wall and processor seconds (user + system, every thread) of a command: "REAL CPU".
measure() {
    local TIMEFORMAT='%R %U %S' out
    out=$({ time "$@" >/dev/null 2>&1; } 2>&1) || return 1
    echo "$out" | awk '{print $1, $2 + $3}'
}
each() { # runs "$@" with {} replaced by every frame index, one command after another
    local k
    for k in $(seq 0 "$last"); do "${@//\{\}/$k}" || return 1; done
}
ratio() { echo "$1 / $2" | bc -l; }
fail() { echo "export_commands.sh: $1 failed" >&2; exit 1; }

mkdir ply one
read -r pattern patternCpu < <(measure "$PELNOR" convert walk.ptv 'ply/walk_%04d.ply') || fail "convert"
read -r separate separateCpu < <(measure each "$PELNOR" convert walk.ptv 'one/walk_{}.ply' --frame '{}') ||
    fail "convert --frame K"
[ "$FRAMES" -gt 7 ] && { cmp -s ply/walk_0007.ply one/walk_7.ply || fail "comparing frame 7"; }
rm -rf ply one

read -r video videoCpu < <(measure "$PELNOR" render walk.ptv walk.mp4 --size 1280x720) || fail "render to MP4"
read -r images imagesCpu < <(measure each "$PELNOR" render walk.ptv 'frame_{}.png' --size 1280x720 --frame '{}') ||
    fail "render --frame K"

printf 'PLY, %d frames of 1280x1024\n' "$FRAMES"
printf '  one numbered export        %7.2f s  (%6.2f s of processor time)\n' "$pattern" "$patternCpu"
printf '  %2d convert --frame K runs  %7.2f s  (%6.2f s of processor time)\n' "$FRAMES" "$separate" "$separateCpu"
printf '  the numbered export is %.2fx as fast (%.2fx in processor time)\n' \
    "$(ratio "$separate" "$pattern")" "$(ratio "$separateCpu" "$patternCpu")"
printf 'Rendering at 1280x720\n'
printf '  one MP4 export             %7.2f frames/s\n' "$(ratio "$FRAMES" "$video")"
printf '  one render --frame K each  %7.2f frames/s\n' "$(ratio "$FRAMES" "$images")"
printf '  the MP4 export is %.2fx as fast (%.2fx in processor time)\n' \
    "$(ratio "$images" "$video")" "$(ratio "$imagesCpu" "$videoCpu")"
echo "load average while measuring: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) processors"
