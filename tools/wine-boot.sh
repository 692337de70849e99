#!/usr/bin/env bash
# Starts a persistent wineserver for the build's prefix and boots the prefix once. Wine's background services
# must not inherit our standard streams, or CTest waits on them for ever.
set -euo pipefail
build=${1:?build directory}
export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
setsid wineserver -p </dev/null >/dev/null 2>&1 || true
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  setsid wineboot -i </dev/null >/dev/null 2>&1 || true
fi
