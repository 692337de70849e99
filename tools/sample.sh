#!/usr/bin/env bash
# Builds the product and runs the sample host under Wine: it loads stylesrv.dll as a host does and says what it did.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$(nproc)" --target samplehost
bash tools/wine-boot.sh "$PWD/build/win32"
cd build/win32/bin
../wine-run ./samplehost.exe "$@"
