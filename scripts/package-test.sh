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
cat > "$home/drive.sh" <<'DRIVE'
#!/usr/bin/env bash
set -eu
/usr/bin/vestrion >"$HOME/out.txt" 2>&1 &
pid=$!
xdotool search --sync --onlyvisible --name '^Vestrion$' >/dev/null
sleep 0.5
xdotool key 1 0 2 KP_Enter
# Windows as large as the screen's main window: the list, and the detail
# window of E102 over it, which opens only if the catalogue was loaded (the
# search banner is a thin window of the same name).
full_windows() {
    for id in $(xdotool search --onlyvisible --name '^Vestrion$'); do
        xwininfo -id "$id" | awk '/Height:/ { if ($2 >= 400) print }'
    done | wc -l
}
for _ in $(seq 50); do
    [ "$(full_windows)" -ge 2 ] && break
    sleep 0.1
done
count=$(full_windows)
kill "$pid"
wait "$pid" || true
[ "$count" -ge 2 ] || { echo "detail window did not open: catalogue not loaded"; exit 1; }
DRIVE
chmod +x "$home/drive.sh"
HOME=$home XDG_CONFIG_HOME=$home DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent \
    xvfb-run -a -s "-screen 0 1024x768x24" "$home/drive.sh"
grep -q '^16777221$' "$home/out.txt" # the Enter key reached the program
rm -rf "$home"

echo "== remove"
apt-get remove -y -qq vestrion >/dev/null
test ! -e /usr/bin/vestrion
trap - EXIT
echo "package test passed: $deb ($(stat -c %s "$deb") bytes)"
