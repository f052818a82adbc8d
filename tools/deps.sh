# Sourced by the tools: makes sure the Debian packages the project builds and runs with are there.
# As root it installs what is missing; otherwise it prints the apt-get line and stops.

# The second line serves drawing: GLVND's libOpenGL and EGL with Mesa's drivers, headless or under
# the virtual screen the widget tests use, where a window manager (openbox) runs for some of them
# and xdotool types as a user does; the third installing and packaging (menu entries, file
# types, the Debian package, the sandbox a file manager runs thumbnailers in); the fourth, video
# export; the fifth, the Python module and its tests (Dask, which the package recommends, for
# pelnor.dask).
PELNOR_PACKAGES="cmake g++ make qtbase5-dev qtbase5-dev-tools libqt5svg5 clang-format
    libopengl-dev libegl-dev libegl1 libegl-mesa0 libgl1-mesa-dri libgl-dev xvfb xauth openbox xdotool
    desktop-file-utils shared-mime-info xdg-utils libfile-mimeinfo-perl dpkg-dev file bubblewrap
    pkg-config libavcodec-dev libavformat-dev libswscale-dev libavutil-dev
    pybind11-dev python3-dev python3-numpy python3-pytest python3-dask python3-distributed"
# Extras that tools/coverage.sh installs for itself; CI does not need them.
PELNOR_COVERAGE_PACKAGES="gcovr"

pelnor_install_missing() {
    local missing=""
    for p in $PELNOR_PACKAGES "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
    done
    [ -z "$missing" ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages:$missing" >&2
        echo "Install them with: sudo apt-get install -y$missing" >&2
        exit 1
    fi
    echo "Installing:$missing"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q >/dev/null && apt-get install -y -q --no-install-recommends $missing >/dev/null || {
        echo "apt-get could not install:$missing" >&2
        exit 1
    }
}

pelnor_build() {
    local dir="$1"
    shift
    cmake -S "$PELNOR_ROOT" -B "$dir" "$@" >/dev/null || exit 1
    cmake --build "$dir" -j "$(nproc)" || exit 1
}
