#!/usr/bin/env bash
# Installs what is missing, builds in build/ and runs every test; then builds build-sanitize/ with
# AddressSanitizer and UndefinedBehaviorSanitizer (leak checks on) and runs every test again.
# Only the tests of widgets and windows get a display (xvfb-run, where Mesa gives a real OpenGL
# context, unless one is there); every other test runs with DISPLAY unset, so that nothing but a
# widget can come to depend on X.
# Before building it checks that every source is formatted by .clang-format; both builds treat
# warnings as errors. PELNOR_SKIP_SANITIZE=1 skips the second pass.
set -u
PELNOR_ROOT="$(cd "$(dirname "$0")/.." && pwd)"
. "$PELNOR_ROOT/tools/deps.sh"
pelnor_install_missing

headless_labels="core|cli|render|install|python"
display_labels="gl|gui"

run_tests() {
    local dir="$1" labels="$2"
    shift 2
    if [ "$labels" != "$display_labels" ]; then
        (cd "$dir" && env -u DISPLAY -u WAYLAND_DISPLAY ctest --output-on-failure -L "$labels" "$@")
    elif [ -z "${DISPLAY:-}" ]; then
        (cd "$dir" && xvfb-run -a -s "-screen 0 1920x1080x24" ctest --output-on-failure -L "$labels" "$@")
    else
        (cd "$dir" && ctest --output-on-failure -L "$labels" "$@")
    fi
}

# A dry run of clang-format on every tracked source: any difference fails, naming the files.
check_format() {
    local bad="" f
    cd "$PELNOR_ROOT" || exit 1
    for f in $(git ls-files '*.cpp' '*.h'); do
        clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || bad="$bad $f"
    done
    cd - >/dev/null || exit 1
    [ -z "$bad" ] && return 0
    echo "These files are not formatted as .clang-format says:" >&2
    printf '  %s\n' $bad >&2
    echo "Fix them with: clang-format -i$bad" >&2
    exit 1
}

check_format
pelnor_build "$PELNOR_ROOT/build" -DPELNOR_WERROR=ON
run_tests "$PELNOR_ROOT/build" "$headless_labels" || exit 1
run_tests "$PELNOR_ROOT/build" "$display_labels" || exit 1
[ "${PELNOR_SKIP_SANITIZE:-0}" = 1 ] && exit 0

echo "== The same tests under AddressSanitizer and UndefinedBehaviorSanitizer =="
pelnor_build "$PELNOR_ROOT/build-sanitize" -DPELNOR_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELNOR_WERROR=ON
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# The Python tests (label python) run Debian's python3, which is not built with the sanitizers, on
# the sanitized module: the test preloads the runtime (LD_PRELOAD of the libasan.so and libubsan.so
# that `gcc -print-file-name=...` names, set in tests/CMakeLists.txt) into the interpreter and the
# workers it starts, and adds detect_leaks=0 to ASAN_OPTIONS, as the interpreter keeps some of its
# objects to its end by design. Every other check stays on: a fault in the module aborts the test.
run_tests "$PELNOR_ROOT/build-sanitize" "core|cli|python" || exit 1
# llvmpipe keeps small blocks from its compiled shaders, which no stack can name: the tests that
# draw run with every check but the leak check.
ASAN_OPTIONS="$ASAN_OPTIONS:detect_leaks=0" run_tests "$PELNOR_ROOT/build-sanitize" "render" || exit 1
ASAN_OPTIONS="$ASAN_OPTIONS:detect_leaks=0" run_tests "$PELNOR_ROOT/build-sanitize" "$display_labels"
