#!/usr/bin/env bash
# Builds the package, installs it with apt-get, starts the installed program
# under Xvfb, checks that it shows an entry of the installed catalogue, and
# removes the package again. Needs root (it installs system-wide).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh package-test
deb=$(./scripts/package.sh "$@" | tail -n 1)
export DEBIAN_FRONTEND=noninteractive

echo "== lintian"
lintian --fail-on error "$deb" 2>&1 | grep -v 'running with root privileges' || true
desktop-file-validate packaging/org.morvane.Vestrion.desktop
appstreamcli validate --no-net packaging/org.morvane.Vestrion.metainfo.xml

cleanup() { apt-get remove -y -qq vestrion >/dev/null 2>&1 || true; }
trap cleanup EXIT
echo "== install $deb"
apt-get install -y -qq "./$deb" >/dev/null

test "$(readlink -f /usr/bin/vestrion)" = /usr/lib/vestrion/vestrion
vestrion-vdb verify /usr/lib/vestrion/data/*.vdb

echo "== run the installed program"
home=$(mktemp -d)
cat >"$home/drive.sh" <<'DRIVE'
set -eu
. tools/xdrive.sh
XD_OUT=$HOME/out.txt xd_start /usr/bin/vestrion || { echo "the program's window did not appear"; exit 1; }
sleep 0.5
xd_type "$xd_main" 102
xd_press "$xd_main" KP_Enter
# The detail window of E102 opens only if the catalogue was loaded.
detail=yes
xd_wait_for 5 xd_has_detail "$xd_main" || detail=
xd_stop
[ -n "$detail" ] || { echo "detail window did not open: catalogue not loaded"; exit 1; }
DRIVE
HOME=$home XDG_CONFIG_HOME=$home xvfb-run -a -s "-screen 0 1024x768x24 -noreset" bash "$home/drive.sh"
grep -q '^16777221$' "$home/out.txt" # the Enter key reached the program
rm -rf "$home"

echo "== remove"
apt-get remove -y -qq vestrion >/dev/null
test ! -e /usr/bin/vestrion
trap - EXIT
echo "package test passed: $deb ($(stat -c %s "$deb") bytes)"
