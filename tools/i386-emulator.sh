# Sourced by the scripts that need to know how this machine runs i386 programs.

binfmt=/proc/sys/fs/binfmt_misc

# Prints the interpreter of the enabled binfmt_misc entry that runs i386 programs through an emulator, and
# fails where there is none. Looked only where binfmt_misc is mounted already: mounting it just to look would
# change a machine that needs nothing.
i386_emulator() {
  local e
  [ -f "$binfmt/status" ] && grep -qx enabled "$binfmt/status" || return 1
  # The kernel tries the newest entry first; ours, where there is one, is the likeliest to be it.
  for e in "$binfmt/qemu-i386" "$binfmt"/*; do
    [ -f "$e" ] || continue
    case ${e##*/} in register|status) continue ;; esac
    grep -qx enabled "$e" 2>/dev/null || continue
    # A 32-bit little-endian ELF magic that, if it is long enough to say, names the i386 machine.
    awk '$1 == "offset" && $2 != 0 { bad = 1 }
         $1 == "magic" { m = $2 }
         END { exit !(!bad && m ~ /^7f454c460101/ && (length(m) < 40 || substr(m, 37, 4) == "0300")) }' "$e" \
      || continue
    sed -n 's/^interpreter //p' "$e"
    return 0
  done
  return 1
}
