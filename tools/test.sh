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

# Wine runs i686 programs natively, so it needs a kernel that executes 32-bit x86 code. Some kernels are built
# without it: every 32-bit program, Wine's own loader first, then fails with "Exec format error" (exit 126), and
# no Windows test can run at all. Say so loudly rather than report thirty failures that say nothing of the code.
if [ -x /usr/lib/wine/wine ]; then
  set +e
  /usr/lib/wine/wine --version >/dev/null 2>&1
  loader=$?
  set -e
  if [ "$loader" -eq 126 ]; then
    echo "test: THE WINDOWS TESTS DID NOT RUN: this machine's kernel cannot execute 32-bit x86 programs" \
         "(/usr/lib/wine/wine: Exec format error). The Win32 preset was built; its tests need a kernel with" \
         "32-bit support." >&2
    exit 0
  fi
fi

bash tools/wine-boot.sh "$PWD/build/win32"
ctest --preset win32 -j "$jobs"

# The compound files the Wine tests wrote, read by other readers than the platform's (Debian's python, where
# olefile is installed).
/usr/bin/python3 tools/check_style_files.py build/win32
