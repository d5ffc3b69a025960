#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a fixed number of executions
# (first argument, default 1000000; a second argument limits the run to targets whose name
# contains it) from its seed corpus. Findings land in build-fuzz/findings.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-1000000}
only=${2:-}
bash scripts/deps.sh
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTAND_FUZZ=ON \
  -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build-fuzz
mkdir -p build-fuzz/findings
for target in build-fuzz/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  [[ "$name" == *"$only"* ]] || continue
  corpus=fuzz/corpus/${name#fuzz_}
  work=build-fuzz/corpus/${name#fuzz_}
  mkdir -p "$work"
  t0=$(date +%s)
  # fuzz/<target>.options may hold further libFuzzer flags (a smaller -max_len, say).
  options=()
  [ -f "fuzz/$name.options" ] && read -r -a options < "fuzz/$name.options"
  "$target" -runs="$runs" -max_len=4096 "${options[@]}" -artifact_prefix=build-fuzz/findings/ \
    "$work" "$corpus" \
    2> "build-fuzz/$name.log" || { tail -n 40 "build-fuzz/$name.log"; exit 1; }
  echo "$name: $runs runs in $(( $(date +%s) - t0 )) s, no finding"
done
