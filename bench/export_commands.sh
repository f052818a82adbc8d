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

now() { date +%s.%N; }
elapsed() { echo "$(now) - $1" | bc; }

mkdir ply one
t=$(now)
"$PELNOR" convert walk.ptv 'ply/walk_%04d.ply' 2>/dev/null || exit 1
pattern=$(elapsed "$t")
t=$(now)
for k in $(seq 0 $last); do "$PELNOR" convert walk.ptv "one/walk_$k.ply" --frame "$k" || exit 1; done
separate=$(elapsed "$t")
cmp -s ply/walk_0007.ply one/walk_7.ply || echo "warning: frame 7 differs between the two exports"
rm -rf ply one

t=$(now)
"$PELNOR" render walk.ptv walk.mp4 --size 1280x720 2>/dev/null || exit 1
video=$(elapsed "$t")
t=$(now)
for k in $(seq 0 $last); do
    "$PELNOR" render walk.ptv "frame_$k.png" --size 1280x720 --frame "$k" 2>/dev/null || exit 1
done
images=$(elapsed "$t")

printf 'PLY, %d frames:   one pattern export %6.2f s   %d separate converts %6.2f s   %.2fx faster\n' \
    "$FRAMES" "$pattern" "$FRAMES" "$separate" "$(echo "$separate / $pattern" | bc -l)"
printf 'Video 1280x720:   MP4 export %6.2f frames/s   one PNG render per frame %6.2f frames/s   %.2fx\n' \
    "$(echo "$FRAMES / $video" | bc -l)" "$(echo "$FRAMES / $images" | bc -l)" "$(echo "$images / $video" | bc -l)"
