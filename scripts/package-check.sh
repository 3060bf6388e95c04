#!/usr/bin/env bash
# Builds the Debian package from the default build, installs it on this machine, validates the
# installed desktop files and converts a generated clip with the installed tavrelle-convert: once as
# the current user and once as an unprivileged user with a fresh home, whose settings and output
# must land in that home. Removes the package again. Usage: scripts/package-check.sh
set -euo pipefail
cd "$(dirname "$0")/.."
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
id=org.tavrelle.VideoConverter

cmake --build --preset default --target tvl_testmedia >/dev/null
rm -rf build/packages
(cd build && cpack -G DEB -B packages >/dev/null)
deb="$(ls build/packages/tavrelle_*.deb)"
echo "Built $deb"
dpkg-deb -f "$deb" Depends

work="$(mktemp -d)"
cleanup() {
  $sudo dpkg -r tavrelle >/dev/null 2>&1 || true
  $sudo rm -rf "$work"
}
trap cleanup EXIT
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "./$deb" >/dev/null

desktop-file-validate /usr/share/applications/$id.desktop
appstreamcli validate --no-net /usr/share/metainfo/$id.metainfo.xml >/dev/null

chmod 755 "$work"
cp build/testmedia/clip25.avi "$work/clip.avi"
chmod 644 "$work/clip.avi"
result="$(tavrelle-convert --profile 0 --output "$work/out" "$work/clip.avi")"
echo "$result"
[[ "$result" == Success* ]]

# An unprivileged user cannot write /usr/lib/tavrelle: settings and output go to the user's folders.
home="$work/home"
mkdir -p "$home"
$sudo chown nobody "$home"
result="$($sudo env -i PATH=/usr/bin:/bin HOME="$home" setpriv --reuid=nobody --regid=nogroup --clear-groups \
  tavrelle-convert --profile 0 "$work/clip.avi")"
echo "$result"
[[ "$result" == "Success $home/Videos/Tavrelle/clip.mp4" ]]
$sudo test -f "$home/.config/tavrelle/VideoConverter.ini"
echo "The package installs, validates and converts."
