#!/usr/bin/env bash
# Builds build-coverage/ (Debug, instrumented with --coverage), runs the whole suite under Xvfb and
# prints line, function and branch coverage of src/. Installs gcovr (Debian) when it is missing.
# The per-file table lands in build-coverage/coverage.txt.
set -u
PELNOR_ROOT="$(cd "$(dirname "$0")/.." && pwd)"
. "$PELNOR_ROOT/tools/deps.sh"
pelnor_install_missing $PELNOR_COVERAGE_PACKAGES

dir="$PELNOR_ROOT/build-coverage"
launcher=""
command -v ccache >/dev/null && launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
# The row threads count into the same arcs at once: plain counters would lose updates and wrap.
pelnor_build "$dir" -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS=--coverage -fprofile-update=atomic" \
    -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_MODULE_LINKER_FLAGS=--coverage $launcher
# Counts from an earlier run would add up with this one.
find "$dir" -name '*.gcda' -delete

status=0
if [ -z "${DISPLAY:-}" ]; then
    (cd "$dir" && xvfb-run -a -s "-screen 0 1920x1080x24" ctest --output-on-failure) || status=1
else
    (cd "$dir" && ctest --output-on-failure) || status=1
fi
[ "$status" = 0 ] || echo "Some tests failed: the figures below count what the passing ones reached." >&2

# Branches the compiler adds for exceptions and unreachable paths would only blur the figure.
gcovr --root "$PELNOR_ROOT" --filter "$PELNOR_ROOT/src/" --object-directory "$dir" \
    --exclude-directories "$dir/CMakeFiles" --exclude-unreachable-branches --exclude-throw-branches \
    -j "$(nproc)" --txt "$dir/coverage.txt" --print-summary
exit $status
