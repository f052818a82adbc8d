#!/usr/bin/env bash
# Installs what is missing, builds in build/ and runs every test. Without a display the tests run
# under xvfb-run, where Mesa gives a real OpenGL context.
set -u
PELNOR_ROOT="$(cd "$(dirname "$0")/.." && pwd)"
. "$PELNOR_ROOT/tools/deps.sh"
pelnor_install_missing

pelnor_build "$PELNOR_ROOT/build"
cd "$PELNOR_ROOT/build" || exit 1
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1920x1080x24" ctest --output-on-failure
fi
exec ctest --output-on-failure
