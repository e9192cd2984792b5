#!/usr/bin/env bash
# Installs the build into a fresh prefix, as a user does with `cmake --install build --prefix
# ~/.local`, and checks what the desktop needs: the program and zorvil-cli in bin/, a menu entry
# that starts the installed program without arguments, the icon in the hicolor theme, and an
# installed zorvil-cli that renders the installed demo project with the installed demo synth.
set -euo pipefail
build_dir=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build_dir" --prefix "$prefix" >/dev/null

fail() { echo "FAIL: $*" >&2; exit 1; }
[[ -x $prefix/bin/zorvil ]] || fail "bin/zorvil is missing"
[[ -x $prefix/bin/zorvil-cli ]] || fail "bin/zorvil-cli is missing"
entry=$prefix/share/applications/zorvil.desktop
[[ -f $entry ]] || fail "the menu entry is missing"
grep -qx "Exec=$prefix/bin/zorvil" "$entry" || fail "the menu entry does not start $prefix/bin/zorvil: $(grep Exec "$entry")"
grep -qx "Icon=zorvil" "$entry" || fail "the menu entry names no icon"
for size in 16 32 64 128 256; do
    icon=$prefix/share/icons/hicolor/${size}x${size}/apps/zorvil.png
    [[ -f $icon ]] || fail "icon $size is missing"
    [[ $(head -c 8 "$icon" | od -An -tx1 | tr -d ' \n') == 89504e470d0a1a0a ]] || fail "icon $size is no PNG"
done

# The installed program finds the demo's plug-in by name in its own prefix, even with the build
# tree gone from its search (VST_PATH unset, run from elsewhere).
out=$prefix/demo.wav
(cd / && env -u VST_PATH "$prefix/bin/zorvil-cli" render "$prefix/share/zorvil/demo/demo.tsn" "$out" --settle 0) \
    || fail "the installed zorvil-cli could not render the installed demo"
size=$(stat -c %s "$out")
(( size > 1000000 )) || fail "the demo render is only $size bytes"
echo "installed and rendered: $size bytes"
