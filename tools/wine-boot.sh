#!/usr/bin/env bash
# Starts a persistent wineserver for the build's prefix and boots the prefix once. Wine's background services
# must not inherit our standard streams, or CTest waits on them for ever.
set -euo pipefail
build=${1:?build directory}
export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"

# Several shells may boot the same prefix at once; one at a time. Nothing started here may keep the lock's
# descriptor (the server lives on), hence the 9>&- on every command.
exec 9>"$build/.wine-boot.lock"
flock 9

# Under a user-mode emulator Wine's processes get tools/wine-trapno.c preloaded (it says why); the runner
# preloads it wherever the build has it. Each of the two builds is named by the directory that the dynamic
# loader's $LIB gives for its word size, so that the 64-bit programs around Wine load an empty one.
. "$(dirname "$0")/i386-emulator.sh"
preload="$build/wine-preload"
if i386_emulator >/dev/null; then
  so32="$preload/lib/i386-linux-gnu/wine-trapno.so"
  so64="$preload/lib/x86_64-linux-gnu/wine-trapno.so"
  src="$(dirname "$0")/wine-trapno.c"
  if [ ! -f "$so32" ] || [ "$src" -nt "$so32" ]; then
    mkdir -p "${so32%/*}" "${so64%/*}"
    gcc -m32 -O2 -fPIC -shared -nostdlib -ffreestanding -fno-stack-protector -o "$so32" "$src" \
      /lib/i386-linux-gnu/libc.so.6
    echo > "$preload/empty.c"
    gcc -O2 -fPIC -shared -nostdlib -o "$so64" "$preload/empty.c"
  fi
  export LD_PRELOAD="$preload/\$LIB/wine-trapno.so"
else
  rm -rf "$preload"
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  setsid wineserver -p </dev/null >/dev/null 2>&1 9>&- || true
  setsid wineboot -i </dev/null >/dev/null 2>&1 9>&- || true
  # The session that created the prefix ends up with two service managers, and the RPC service then fails to
  # start: every COM apartment waits 10 s for it. Start the prefix again with a single one.
  wineserver -k >/dev/null 2>&1 9>&- || true
  wineserver -w >/dev/null 2>&1 9>&- || true
fi

# A server already running for this prefix makes this a no-op; otherwise start one, and the prefix's services
# with it, detached from our streams.
if setsid wineserver -p </dev/null >/dev/null 2>&1 9>&-; then
  setsid wineboot </dev/null >/dev/null 2>&1 9>&- || true
fi
