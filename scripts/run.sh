#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program from the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
cd build
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "Дисплея нет: программа запущена под виртуальным дисплеем (xvfb-run)."
  exec xvfb-run -a -s "-screen 0 1280x1024x24" ./stand
fi
exec ./stand
