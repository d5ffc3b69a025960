#!/usr/bin/env bash
# Cross-builds the GUI-free core and its Windows tests with mingw-w64 and runs them under Wine,
# against COM ports that are pseudo-terminals joined in pairs by socat (a null-modem each).
# Without the packages it says so and stops with success; `--install` installs them first
# (g++-mingw-w64-x86-64, wine64, socat: about 1.3 GB), `--install-only` only installs them.
# `--bench` runs the serial layers' figures (bench/bench_serial.cpp) instead of the tests.
# Further arguments go to the test program (gtest flags).
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(realpath -m "${WIN_BUILD_DIR:-build-win}")
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

if [ "${1:-}" = "--install" ] || [ "${1:-}" = "--install-only" ]; then
  bash scripts/deps.sh
  line="apt-get install -y --no-install-recommends g++-mingw-w64-x86-64 wine64 socat"
  if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null || ! command -v socat >/dev/null ||
     [ ! -x "$wine" ]; then
    [ "$(id -u)" -eq 0 ] || { echo "Выполните от имени root: apt-get update && $line" >&2; exit 1; }
    export DEBIAN_FRONTEND=noninteractive
    # The package lists may be stale on a fresh machine: refresh only when an install fails.
    $line || { apt-get update && $line; }
  fi
  [ "$1" = "--install-only" ] && exit 0
  shift
fi
for tool in x86_64-w64-mingw32-g++-posix socat "$wine"; do
  if ! command -v "$tool" >/dev/null; then
    echo "Windows tests skipped: $tool is missing (bash tests/windows/run.sh --install)"
    exit 0
  fi
done

program=test_windows
if [ "${1:-}" = "--bench" ]; then
  program=bench_serial
  shift
fi

t0=$(date +%s)
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
cmake --build "$build" --target "$program"
t1=$(date +%s)

export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all
if [ ! -d "$WINEPREFIX/dosdevices" ]; then
  mkdir -p "$WINEPREFIX"
  "$wine" wineboot -i >/dev/null 2>&1
fi

links=$(mktemp -d)
pids=()
cleanup() {
  [ ${#pids[@]} -eq 0 ] || kill "${pids[@]}" 2>/dev/null || true
  "$wineserver" -k 2>/dev/null || true
  rm -rf "$links"
}
trap cleanup EXIT
for pair in "5 6" "7 8"; do
  read -r a b <<< "$pair"
  socat pty,raw,echo=0,link="$links/com$a" pty,raw,echo=0,link="$links/com$b" &
  pids+=($!)
done
for n in 5 6 7 8; do
  for _ in $(seq 100); do [ -e "$links/com$n" ] && break; sleep 0.05; done
  ln -sfn "$(readlink -f "$links/com$n")" "$WINEPREFIX/dosdevices/com$n"
done

# A pair's far end cannot hang up the near one here (the null-modem stays), so the vanished
# device is left to the POSIX run.
status=0
export STAND_COM_PAIRS="COM5:COM6,COM7:COM8"
if [ "$program" = bench_serial ]; then
  "$wine" "$build/tests/windows/bench_serial.exe" 2> "$build/wine-stderr.log" || status=$?
else
  "$wine" "$build/tests/windows/test_windows.exe" \
    --gtest_brief=1 --gtest_filter='-RsManager.AVanishedDevice*' "$@" \
    2> "$build/wine-stderr.log" || status=$?
fi
[ "$status" -eq 0 ] || tail -n 40 "$build/wine-stderr.log"
echo "Windows $program under Wine: build $((t1 - t0)) s, run $(( $(date +%s) - t1 )) s"
exit "$status"
