#!/usr/bin/env bash
# The package as the plant's IT meets it, on this machine (as root; it installs and removes the
# package "stand"): lintian finds no error; a package of the previous version set up a working
# folder that the upgrade keeps byte for byte; the installed program, started from the desktop
# entry's launcher in a fresh folder on a virtual display, goes through its start window to the
# test tag against the installed simulator; the installed checker passes the demo scripts; and
# removing the package leaves every working folder as it was.
#   bash tests/package/run.sh [PACKAGE.deb]   (default: what scripts/package.sh built)
set -euo pipefail
cd "$(dirname "$0")/../.."
deb=$(readlink -f "${1:-$(ls build/package/stand_*_amd64.deb | tail -1)}")
[ "$(id -u)" -eq 0 ] || { echo "Нужен root: тест ставит и удаляет пакет stand." >&2; exit 1; }

work=$(mktemp -d /tmp/stand_package_XXXXXX)
xvfb_pid=""
launcher=""
cleanup() {
  [ -n "$launcher" ] && kill -- -"$launcher" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  dpkg -r stand >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
step() { echo "== $*"; }

step "lintian"
lintian --fail-on error --tag-display-limit 0 "$deb" | tee "$work/lintian.txt"

version=$(dpkg-deb -f "$deb" Version)
# The previous version: the same package one step older, with a demo script of its own, so
# that a demo copied over the operator's files would show.
step "a package of the previous version"
dpkg-deb -R "$deb" "$work/old"
sed -i "s/^Version: .*/Version: ${version}~previous/" "$work/old/DEBIAN/control"
printf '; the previous version\r\n' >> "$work/old/usr/share/stand/demo/scn/stanciya.ini"
(cd "$work/old" && find usr -type f -exec md5sum {} + > DEBIAN/md5sums)
dpkg-deb --root-owner-group -b "$work/old" "$work/old.deb" >/dev/null
dpkg -r stand >/dev/null 2>&1 || true

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -1 "$work/display")"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
# A key that closes its window leaves xdotool failing to release it: its status says nothing.
xdo() { timeout 20 xdotool "$@" 2>/dev/null || true; }

# The launcher started as the desktop entry starts it, for a user whose home is `$1`; it runs
# until the program ends.
launch() {
  HOME="$1" STAND_HOME= setsid "$(sed -n 's/^Exec=//p' /usr/share/applications/stand.desktop)" \
    >"$1/launcher.log" 2>&1 &
  launcher=$!
}
window() { xdo search --sync --onlyvisible --name "$1" | tail -1; }
wait_end() {
  for _ in $(seq 150); do kill -0 "$launcher" 2>/dev/null || { wait "$launcher"; return; }; sleep 0.1; done
  fail "the program did not end: $(cat "$2/launcher.log")"
}
# From the start window to the tag, and out through the tag's "Выход".
to_the_tag_and_out() {
  launch "$1"
  local start tag
  start=$(window "Проверка станции")
  [ -n "$start" ] || fail "no start window: $(cat "$1/launcher.log")"
  sleep 0.5
  xdo key --window "$start" Return; xdo keyup Return
  tag=$(window "Бирка") || fail "the start window did not lead to the tag"
  [ -n "$tag" ] || fail "no tag window"
  sleep 0.8
  eval "$(xdo getwindowgeometry --shell "$tag")"
  xdo mousemove $((X + WIDTH - 50)) $((Y + HEIGHT - 22)) click 1
  wait_end "$1" "$1"
}
# The start window's "Выход" (two tabs from "Проверка станции"): nothing of the stand is touched.
start_and_exit() {
  launch "$1"
  local start
  start=$(window "Проверка станции")
  [ -n "$start" ] || fail "no start window: $(cat "$1/launcher.log")"
  sleep 0.5
  xdo key --window "$start" Tab Tab Return; xdo keyup Return
  wait_end "$1" "$1"
}
# The operator's part of a working folder (the simulator's links left out), file by file.
sums() {
  (cd "$1/stand" && find data scn $([ -d prot ] && echo prot) -type f -print0 | sort -z | xargs -0 sha256sum)
}

step "the previous version sets up a working folder"
dpkg -i "$work/old.deb" >/dev/null
mkdir -p "$work/upgraded"
to_the_tag_and_out "$work/upgraded"
old="$work/upgraded/stand"
[ -f "$old/data/runs.sqlite" ] || fail "no run records in the working folder"
grep -q "previous version" "$old/scn/stanciya.ini" || fail "the folder was not filled from the previous demo"
# What an operator makes of it: a protocol, an edited script, settings of this stand.
mkdir -p "$old/prot/stanciya"
printf 'Протокол\r\n' > "$old/prot/stanciya/0001.txt"
printf '; edited on the stand\r\n' >> "$old/scn/blok.ini"
printf '[mine]\r\nkey=1\r\n' >> "$old/data/tk.ini"
sums "$work/upgraded" > "$work/before.sums"

step "upgrade to $version"
dpkg -i "$deb" >/dev/null
[ "$(dpkg-query -W -f='${Version}' stand)" = "$version" ] || fail "not upgraded"
sums "$work/upgraded" | cmp -s - "$work/before.sums" || fail "the upgrade changed the working folder"
start_and_exit "$work/upgraded"
sums "$work/upgraded" | diff "$work/before.sums" - || fail "the first start after the upgrade changed the working folder"

step "the program's version is the package's"
[ "$(stand --version)" = "$version" ] || fail "stand --version says $(stand --version), the package $version"

step "a fresh working folder, to the test tag against the simulator"
mkdir -p "$work/fresh"
to_the_tag_and_out "$work/fresh"
fresh="$work/fresh/stand"
cmp -s "$fresh/scn/stanciya.ini" /usr/share/stand/demo/scn/stanciya.ini || fail "the fresh folder is not the demo's"
grep -q "$fresh/sim/station" "$fresh/data/nastr.ini" || fail "the settings do not name the simulator's ports"
[ -f "$fresh/data/runs.sqlite" ] || fail "no run records in the fresh folder"

step "the checker on the installed demo scripts"
stand-check /usr/share/stand/demo/scn/*.ini || fail "stand-check finds fault with the demo scripts"

step "removal"
sums "$work/fresh" > "$work/fresh.sums"
sums "$work/upgraded" > "$work/upgraded.sums"
dpkg -r stand >/dev/null
[ ! -e /usr/bin/stand ] || fail "/usr/bin/stand is still there"
sums "$work/fresh" | cmp -s - "$work/fresh.sums" || fail "removal changed the fresh folder"
sums "$work/upgraded" | cmp -s - "$work/upgraded.sums" || fail "removal changed the upgraded folder"
echo "package test passed: $version"
