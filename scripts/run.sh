#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program in build/. Without a stand
# configured there (build/data/nastr.ini), the demo data is put in place and the program
# talks to the stand simulator, which runs for as long as the program does.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
root=$PWD
cd build

if [ ! -f data/nastr.ini ]; then
  echo "Стенд не настроен: используются демонстрационные данные и имитатор stand-sim."
  mkdir -p data scn sim
  cp -n "$root"/demo/data/* data/
  cp -n "$root"/demo/scn/* scn/
  sed -i "s|@SIM@|$PWD/sim|g" data/nastr.ini
fi

sim_pid=""
if grep -q "$PWD/sim/" data/nastr.ini; then
  mkdir -p sim
  ./stand-sim --station sim/station --modules sim/modules --scenario "$root/demo/sim/scenario.ini" \
    > sim/stand-sim.log 2>&1 &
  sim_pid=$!
  trap 'kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true' EXIT
  for _ in $(seq 50); do [ -L sim/modules ] && break; sleep 0.1; done
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "Дисплея нет: программа запущена под виртуальным дисплеем (xvfb-run)."
  xvfb-run -a -s "-screen 0 1280x1024x24" ./stand
else
  ./stand
fi
