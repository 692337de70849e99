#!/usr/bin/env bash
# The longer fuzz run: builds the fuzz preset (clang, libFuzzer, ASan, UBSan) and fuzzes every target for the
# given seconds (default 600), a few at a time, including the targets CI leaves disabled for a known open fault
# (tests/fuzz/open/<family>). New inputs go to build/fuzz/corpus/<family>; an input that breaks a target is
# written to build/fuzz/crash-<family>-*, and replays with `build/fuzz/bin/<family>_fuzz <file>` (FUZZ_DUMP=1
# prints the curve it decodes to). CI runs the enabled targets for 30 s each through `ctest --preset fuzz`.
#   bash tools/fuzz.sh [seconds] [parallel jobs]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
parallel=${2:-3}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$parallel"
cd build/fuzz
fuzz() {
  local family=$1
  mkdir -p "corpus/$family"
  if "bin/${family}_fuzz" "corpus/$family" "../../tests/fuzz/corpus/$family" -max_total_time="$seconds" -timeout=10 \
       -rss_limit_mb=1024 -max_len=4096 -artifact_prefix="crash-$family-" >"$family.log" 2>&1; then
    echo "clean  $family"
  else
    echo "FAULT  $family (build/fuzz/$family.log)"
  fi
}
for target in bin/*_fuzz; do
  while [ "$(jobs -rp | wc -l)" -ge "$parallel" ]; do wait -n; done
  fuzz "$(basename "$target" _fuzz)" &
done
wait
