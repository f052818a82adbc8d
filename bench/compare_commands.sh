#!/usr/bin/env bash
# Whole commands side by side on one 1280x1024 surface: pelnor's convert and render against the
# PLY tools people use today (meshlabserver, CloudCompare -SILENT, f3d --output), run alternately
# under one Xvfb so that the machine's moods hit all of them alike. Prints medians and ratios.
# Needs the Debian packages f3d, meshlab and cloudcompare; ROUNDS defaults to 5.
set -u
PELNOR_ROOT="$(cd "$(dirname "$0")/.." && pwd)"
PELNOR="${PELNOR:-$PELNOR_ROOT/build-bench/bin/pelnor}"
ROUNDS="${ROUNDS:-5}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

Xvfb :77 -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb; rm -rf "$work"' EXIT
export DISPLAY=:77
sleep 1

"$PELNOR" sample big.pt --size 1280x1024 || exit 1
"$PELNOR" convert big.pt big.ply || exit 1

seconds() { local t0 t1; t0=$(date +%s.%N); "$@" >/dev/null 2>&1; t1=$(date +%s.%N); echo "$t1 - $t0" | bc; }
declare -A times m
for ((round = 1; round <= ROUNDS; ++round)); do
    times[convert]+="$(seconds "$PELNOR" convert big.pt out.ply) "
    times[meshlab]+="$(seconds meshlabserver -i big.ply -o meshlab.ply) "
    times[cloudcompare]+="$(seconds CloudCompare -SILENT -AUTO_SAVE OFF -O big.ply -M_EXPORT_FMT PLY -SAVE_MESHES FILE cc.ply) "
    times[render]+="$(seconds "$PELNOR" render big.pt out.png --size 800x600) "
    times[f3d]+="$(seconds f3d --output f3d.png --resolution 800,600 big.ply) "
done
median() { tr ' ' '\n' | grep . | sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
for k in convert meshlab cloudcompare render f3d; do
    m[$k]=$(echo "${times[$k]}" | median)
    printf '%-14s median %6.3f s   (%s)\n' "$k" "${m[$k]}" "${times[$k]}"
done
printf 'convert / meshlabserver  %.2f\n' "$(echo "${m[convert]} / ${m[meshlab]}" | bc -l)"
printf 'convert / CloudCompare   %.2f\n' "$(echo "${m[convert]} / ${m[cloudcompare]}" | bc -l)"
printf 'render / f3d             %.2f\n' "$(echo "${m[render]} / ${m[f3d]}" | bc -l)"
