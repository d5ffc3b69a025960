#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program in build/ as the package's desktop
# entry starts it in ~/stand: without a stand configured there (build/data/nastr.ini), the demo
# data is put in place and the program talks to the stand simulator, which runs for as long as
# the program does; under xvfb-run when there is no display.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
root=$PWD
STAND_HOME="$root/build" STAND_BIN="$root/build" STAND_DEMO="$root/demo" exec sh packaging/stand-desktop
