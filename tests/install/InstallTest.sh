#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks the tree, the desktop files and that the
# installed launcher finds its program folder. Usage: InstallTest.sh <build folder> <app id>
set -euo pipefail
build="$1" id="$2"
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

fail=0
expect() { [ -e "$prefix/$1" ] || { echo "missing: $1"; fail=1; }; }
for f in tavrelle tavrelle-convert VideoConverter.ini VideoRes/MainImage.png VideoRes/ListVideo.png \
  MKVRes/Converting.gif Skins/Sapphire.qss help/welcome.htm Lib; do
  expect "lib/tavrelle/$f"
done
for f in bin/tavrelle bin/tavrelle-convert share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
  share/man/man1/tavrelle-convert.1; do
  expect "$f"
done
for size in 16 24 32 48 64 128 256; do
  expect "share/icons/hicolor/${size}x${size}/apps/$id.png"
done
[ -d "$prefix/lib/tavrelle/Lib" ] || { echo "Lib is not a folder"; fail=1; }
# The shipped settings, not the build folder's copy with a developer's choices in it.
cmp -s "$prefix/lib/tavrelle/VideoConverter.ini" "$(dirname "$0")/../../data/VideoConverter.ini" ||
  { echo "the installed settings are not the shipped ones"; fail=1; }

desktop-file-validate "$prefix/share/applications/$id.desktop" || fail=1
appstreamcli validate --no-net --pedantic "$prefix/share/metainfo/$id.metainfo.xml" >/dev/null ||
  { appstreamcli validate --no-net --pedantic "$prefix/share/metainfo/$id.metainfo.xml"; fail=1; }
grep -qx 'Exec=tavrelle %F' "$prefix/share/applications/$id.desktop" || { echo "Exec line"; fail=1; }
grep -qx "Icon=$id" "$prefix/share/applications/$id.desktop" || { echo "Icon line"; fail=1; }

# Through the link in bin/ the program still finds its folder: the installed profiles are listed.
profiles="$("$prefix/bin/tavrelle-convert" --list-profiles)" || { echo "tavrelle-convert failed"; fail=1; }
count="$(grep -m1 '^Count=' "$prefix/lib/tavrelle/VideoConverter.ini" | cut -d= -f2 | tr -d '\r')"
[ "$(printf '%s\n' "$profiles" | grep -c .)" = "$count" ] || { echo "profiles listed: $profiles"; fail=1; }
exit $fail
