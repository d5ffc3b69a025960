#!/usr/bin/env bash
# Builds the Debian package of a stand PC into build/package/ (stand_VERSION_amd64.deb) from the
# same build as scripts/build.sh; the package's dependencies are read from the binaries.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh
rm -f build/package/stand_*.deb
(cd build && cpack -G DEB --config CPackConfig.cmake)
ls build/package/stand_*.deb
