#!/usr/bin/env bash
# Builds both presets and runs every test: the portable core natively under the sanitizers, then the product
# and everything else under Wine, on every machine: setup.sh makes one whose kernel cannot execute 32-bit
# programs run them under an emulator.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
jobs=$(nproc)

cmake --preset native >/dev/null
cmake --build --preset native -j "$jobs"
ctest --preset native -j "$jobs"

# The fuzz targets under clang's libFuzzer, 30 seconds each (tools/fuzz.sh runs them longer).
cmake --preset fuzz -DSTYLESRV_FUZZ_SECONDS=30 >/dev/null
cmake --build --preset fuzz -j "$jobs"
ctest --preset fuzz -j "$jobs"

cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$jobs"

bash tools/wine-boot.sh "$PWD/build/win32"
# Where Wine runs under the emulator (tools/setup.sh said so), the arithmetic of a suite takes about ten times
# as long: the B-spline suite, near a minute natively on a loaded machine, would pass the preset's 600 s limit.
. tools/i386-emulator.sh
timeout=()
if i386_emulator >/dev/null; then timeout=(--timeout 2400); fi
ctest --preset win32 -j "$jobs" "${timeout[@]}"

# The compound files the Wine tests wrote, read by other readers than the platform's (Debian's python, where
# olefile is installed).
/usr/bin/python3 tools/check_style_files.py build/win32
