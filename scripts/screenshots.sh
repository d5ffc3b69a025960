#!/usr/bin/env bash
# Pictures of the test window: the selection after the initial exchange, a run in progress,
# the verdict, and each internal state page; the test tag and the protocol viewer; the EEPROM
# window and its comparison window with its marked errors, on the third by F3; the plots and the
# station channel's memo with times during the run; the statistics window's three pages on a
# generated year of a plant's runs. The program runs a demo run against stand-sim
# on a virtual display (Xvfb); about a minute.
#   bash scripts/screenshots.sh [folder]   (default: build/screenshots)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
out="$(realpath -m "${1:-build/screenshots}")"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1920x1200x24" \
  build/bench/bench_run --idle-seconds 1 --screenshots "$out"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1920x1200x24" \
  build/bench/bench_pzu --fast --screenshots "$out"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1920x1200x24" \
  build/bench/bench_statistics --runs 20000 --screenshots "$out"
