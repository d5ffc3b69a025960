#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a fixed number of executions
# (first argument, default 1000000; a second argument limits the run to targets whose name
# contains it) from its seed corpus. Findings land in $build/findings.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-1000000}
build=${FUZZ_BUILD_DIR:-build-fuzz}
only=${2:-}
bash scripts/deps.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTAND_FUZZ=ON \
  -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build"
mkdir -p "$build/findings"
for target in "$build"/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  [[ "$name" == *"$only"* ]] || continue
  corpus=fuzz/corpus/${name#fuzz_}
  work="$build"/corpus/${name#fuzz_}
  mkdir -p "$work"
  t0=$(date +%s)
  # fuzz/<target>.options may hold further libFuzzer flags (a smaller -max_len, say).
  options=()
  [ -f "fuzz/$name.options" ] && read -r -a options < "fuzz/$name.options"
  "$target" -runs="$runs" -max_len=4096 "${options[@]}" -artifact_prefix="$build/findings/" \
    "$work" "$corpus" \
    2> "$build/$name.log" || { tail -n 40 "$build/$name.log"; exit 1; }
  echo "$name: $runs runs in $(( $(date +%s) - t0 )) s, no finding"
done
