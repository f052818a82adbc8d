#!/usr/bin/env bash
# tools/run.sh builds the two programs only (a first start should not wait for the tests to
# compile) and then starts the viewer on the file given. Run on a copy of the tools, with cmake,
# dpkg-query and the viewer replaced by scripts that write down how they were called.
set -eu
source_root="$1"
root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/tools" "$root/fake" "$root/build/bin"
cp "$source_root/tools/run.sh" "$source_root/tools/deps.sh" "$root/tools/"
for tool in cmake dpkg-query build/bin/pelnor-viewer; do
    case "$tool" in build/*) path="$root/$tool" ;; *) path="$root/fake/$tool" ;; esac
    printf '#!/bin/sh\necho "%s $*" >> "$CALLS"\nprintf "install ok installed"\n' "$(basename "$tool")" >"$path"
    chmod +x "$path"
done
export CALLS="$root/calls"
PATH="$root/fake:$PATH" bash "$root/tools/run.sh" scan.pt >/dev/null
builds="$(grep '^cmake .*--build' "$CALLS")"
case "$builds" in
*"--target pelnor pelnor-viewer") ;;
*) echo "run.sh builds more than the two programs: $builds" >&2; exit 1 ;;
esac
[ "$(grep -c '^cmake .*--build' "$CALLS")" = 1 ] || { echo "run.sh builds more than once" >&2; exit 1; }
grep -qx 'pelnor-viewer scan.pt' "$CALLS" || { echo "run.sh did not start the viewer on scan.pt" >&2; exit 1; }
