#!/usr/bin/env bash
# Builds both presets and runs every test: the portable core natively under the sanitizers, then the product
# and everything else under Wine.
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
ctest --preset win32 -j "$jobs"

# The compound files the Wine tests wrote, read by other readers than the platform's (Debian's python, where
# olefile is installed).
/usr/bin/python3 tools/check_style_files.py build/win32
