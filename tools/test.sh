#!/usr/bin/env bash
# Installs what is missing, builds in build/ and runs every test; then builds build-sanitize/ with
# AddressSanitizer and UndefinedBehaviorSanitizer (leak checks on) and runs every test again.
# Without a display the tests run under xvfb-run, where Mesa gives a real OpenGL context.
# PELNOR_SKIP_SANITIZE=1 skips the second pass.
set -u
PELNOR_ROOT="$(cd "$(dirname "$0")/.." && pwd)"
. "$PELNOR_ROOT/tools/deps.sh"
pelnor_install_missing

run_tests() {
    local dir="$1"
    shift
    if [ -z "${DISPLAY:-}" ]; then
        (cd "$dir" && xvfb-run -a -s "-screen 0 1920x1080x24" ctest --output-on-failure "$@")
    else
        (cd "$dir" && ctest --output-on-failure "$@")
    fi
}

pelnor_build "$PELNOR_ROOT/build"
run_tests "$PELNOR_ROOT/build" || exit 1
[ "${PELNOR_SKIP_SANITIZE:-0}" = 1 ] && exit 0

echo "== The same tests under AddressSanitizer and UndefinedBehaviorSanitizer =="
pelnor_build "$PELNOR_ROOT/build-sanitize" -DPELNOR_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
run_tests "$PELNOR_ROOT/build-sanitize" -L "core|cli" || exit 1
# llvmpipe keeps small blocks from its compiled shaders, which no stack can name: the display tests
# run with every check but the leak check.
ASAN_OPTIONS="$ASAN_OPTIONS:detect_leaks=0" run_tests "$PELNOR_ROOT/build-sanitize" -L "gl|gui"
