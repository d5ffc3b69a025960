#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the program need.
# As root it installs them; otherwise it prints the apt-get line and stops.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ ccache pkg-config
  qt6-base-dev qt6-charts-dev libqt6opengl6-dev libsimpleini-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  python3 python3-crcmod
  libmodbus-dev
  libsqlite3-dev libpq-dev postgresql-15
  xvfb xauth xdotool fonts-dejavu-core
  dpkg-dev lintian
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

line="apt-get install -y --no-install-recommends ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "Нужны пакеты Debian. Выполните от имени root:" >&2
  echo "  apt-get update && $line" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
# The package lists may be stale on a fresh machine: refresh only when an install fails.
$line || { apt-get update && $line; }
