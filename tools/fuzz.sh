#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/, seeds each one with small scans from
# `pelnor sample` and a few broken variants of them, and fuzzes each for SECONDS seconds (default
# 60) on one core. Exits non-zero when a target found a fault; what it found is kept under
# build-fuzz/findings/TARGET/ and the run's output in build-fuzz/logs/TARGET.log.
set -u
DURATION="${1:-60}"
case "$DURATION" in
'' | *[!0-9]*)
    echo "usage: tools/fuzz.sh [SECONDS]" >&2
    exit 2
    ;;
esac
PELNOR_ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="$PELNOR_ROOT/build-fuzz"
TARGETS="fuzz_xyzm fuzz_pt fuzz_ptv"

. "$PELNOR_ROOT/tools/deps.sh"
# Only what building the core and the command-line tool needs, and what configuring the tree finds
# for the Python module; no display for fuzzing.
# shellcheck disable=SC2034 # read by pelnor_install_missing
PELNOR_PACKAGES="cmake make qtbase5-dev qtbase5-dev-tools python3-dev pybind11-dev"
pelnor_install_missing
if ! command -v clang++ >/dev/null; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "clang++ is missing; install it with: sudo apt-get install -y clang libclang-rt-14-dev" >&2
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q >/dev/null && apt-get install -y -q clang libclang-rt-14-dev >/dev/null || exit 1
fi

cmake -S "$PELNOR_ROOT" -B "$BUILD" -DPELNOR_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ >/dev/null || exit 1
mkdir -p "$BUILD/logs"
# shellcheck disable=SC2086
if ! cmake --build "$BUILD" -j "$(nproc)" --target pelnor $TARGETS >"$BUILD/logs/build.log" 2>&1; then
    tail -n 40 "$BUILD/logs/build.log" >&2
    exit 1
fi

# Seeds: real scans at small sizes, then the same cut short, lengthened and with fields changed.
# poke FILE OFFSET BYTES writes BYTES, given as printf escapes, over FILE at OFFSET.
# shellcheck disable=SC2059
poke() { printf "$3" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none; }
make_seeds() {
    local ending="$1" dir="$2"
    mkdir -p "$dir"
    for size in 4x3 9x7 16x12; do
        local file="$dir/sample-$size.$ending"
        if [ "$ending" = ptv ]; then
            "$BUILD/bin/pelnor" sample "$file" --size "$size" --frames 3 || exit 1
        else
            "$BUILD/bin/pelnor" sample "$file" --size "$size" || exit 1
        fi
        local bytes
        bytes=$(stat -c %s "$file")
        head -c $((bytes - 1)) "$file" >"$dir/short-$size.$ending"
        { cat "$file" && printf 'J'; } >"$dir/long-$size.$ending"
    done
    local small="$dir/sample-4x3.$ending"
    case "$ending" in
    xyzm)
        head -c 20 "$small" >"$dir/cut-text.xyzm"
        head -c 34 "$small" >"$dir/cut-after-size.xyzm"
        ;;
    pt)
        head -c 449 "$small" >"$dir/header-only.pt"
        head -c 448 "$small" >"$dir/header-short.pt"
        # Three texture bytes per pixel: 12 pixels need 24 more bytes.
        cp "$small" "$dir/colour.pt" && poke "$dir/colour.pt" 28 '\001'
        head -c 24 /dev/zero >>"$dir/colour.pt"
        cp "$small" "$dir/grey.pt" && poke "$dir/grey.pt" 29 '\377\377\377\377'
        cp "$small" "$dir/version-2.pt" && poke "$dir/version-2.pt" 0 '\002'
        ;;
    ptv)
        head -c 457 "$small" >"$dir/header-only.ptv"
        head -c 516 "$small" >"$dir/first-frame-short.ptv"
        cp "$small" "$dir/colour.ptv" && poke "$dir/colour.ptv" 36 '\001'
        cp "$small" "$dir/count-beyond-file.ptv" && poke "$dir/count-beyond-file.ptv" 24 '\011'
        cp "$small" "$dir/one-frame.ptv" && poke "$dir/one-frame.ptv" 24 '\001'
        cp "$small" "$dir/rate-0.ptv" && poke "$dir/rate-0.ptv" 20 '\000\000\000\000'
        ;;
    esac
}

status=0
summary=""
for target in $TARGETS; do
    ending="${target#fuzz_}"
    corpus="$BUILD/corpus/$target"
    findings="$BUILD/findings/$target"
    log="$BUILD/logs/$target.log"
    make_seeds "$ending" "$corpus"
    mkdir -p "$findings" "$(dirname "$log")"
    rm -f "$findings"/*
    echo "== $target: ${DURATION} s"
    "$BUILD/bin/$target" "$corpus" -max_total_time="$DURATION" -max_len=4096 -timeout=25 \
        -print_final_stats=1 -artifact_prefix="$findings/" >"$log" 2>&1
    rc=$?
    last=$(grep -E '^#[0-9]+.*cov:' "$log" | tail -n 1)
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    cov=$(printf '%s\n' "$last" | sed -n 's/.* cov: \([0-9]*\).*/\1/p')
    features=$(printf '%s\n' "$last" | sed -n 's/.* ft: \([0-9]*\).*/\1/p')
    files=$(find "$corpus" -type f | wc -l)
    found=$(find "$findings" -type f | wc -l)
    if [ "$rc" -ne 0 ] || [ "$found" -ne 0 ]; then
        result="FOUND a fault (exit $rc): $(find "$findings" -type f -printf '%f ')see $log"
        status=1
    else
        result="nothing found"
    fi
    line="$target: ${DURATION} s, ${execs:-?} execs, cov ${cov:-?}, ft ${features:-?}, corpus $files files, $result"
    echo "$line"
    summary="$summary$line"$'\n'
done
echo
echo "== summary"
printf '%s' "$summary"
exit $status
