#!/usr/bin/env bash
# The longer fuzz run: builds the fuzz preset (clang, libFuzzer, ASan, UBSan) and fuzzes every target (or the
# families named) for the given seconds (default 600), a few at a time. A run goes on past what it finds, so that
# one long run collects every distinct find: new inputs go to build/fuzz/corpus/<family>, and each input that breaks
# a target is written to build/fuzz/crash-<family>-* and listed with the invariant it breaks. A find replays with
# `build/fuzz/bin/<family>_fuzz <file>` (FUZZ_DUMP=1 prints what it decodes to and what the routine answered).
# CI runs every target for 30 s through `ctest --preset fuzz`; both wait 90 s for one input before calling it a
# hang, so that the two agree on what a hang is.
#   bash tools/fuzz.sh [seconds] [parallel jobs] [family ...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
parallel=${2:-3}
shift $(($# < 2 ? $# : 2))
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$parallel"
cd build/fuzz
fuzz() {
  local family=$1
  mkdir -p "corpus/$family"
  "bin/${family}_fuzz" "corpus/$family" "../../tests/fuzz/corpus/$family" -fork=1 -ignore_crashes=1 \
    -max_total_time="$seconds" -timeout=90 -rss_limit_mb=1024 -max_len=4096 -artifact_prefix="crash-$family-" \
    >"$family.log" 2>&1 || true
  local finds=(crash-"$family"-*)
  if [ ! -e "${finds[0]}" ]; then
    echo "clean  $family"
    return
  fi
  echo "FAULT  $family (build/fuzz/$family.log)"
  for find in "${finds[@]}"; do
    echo "       $find: $("bin/${family}_fuzz" "$find" 2>&1 | grep -m1 -E 'invariant broken|ERROR: ' || true)"
  done
}
if [ $# -gt 0 ]; then
  families=("$@")
else
  families=()
  for target in bin/*_fuzz; do families+=("$(basename "$target" _fuzz)"); done
fi
for family in "${families[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$parallel" ]; do wait -n; done
  fuzz "$family" &
done
wait
