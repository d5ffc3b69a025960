#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test with CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
ctest --test-dir build --output-on-failure -j"$(nproc)"
# The Windows build under Wine, when its packages are here (tests/windows/run.sh --install
# brings them).
bash tests/windows/run.sh
