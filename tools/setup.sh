#!/usr/bin/env bash
# Installs what the build and the tests need on a fresh Debian machine; does nothing for what is present.
set -euo pipefail

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  apt_update_needed=1
fi

pkgs=(cmake ninja-build g++ googletest libgtest-dev libbenchmark-dev
      g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
      wine wine32:i386
      libsisl-dev libocct-foundation-dev libocct-modeling-data-dev libocct-modeling-algorithms-dev
      libtbb-dev libgsl-dev libeigen3-dev libgeos-dev libagg-dev liblapacke-dev libpolyclipping-dev)
# The fuzz targets: clang with its libFuzzer and sanitizer runtimes.
pkgs+=(clang libclang-rt-dev)
# The native readers of the style-library files the Wine tests write: olefile, and gsf as a second writer.
pkgs+=(python3-olefile libgsf-bin)
for p in "${pkgs[@]}"; do have "$p" || need+=("$p"); done

if [ ${#need[@]} -gt 0 ]; then
  echo "setup: installing ${need[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q || echo "setup: some package lists did not download; installing from those that did"
  if ! apt-get install -y -q --no-install-recommends "${need[@]}"; then
    # A mirror caught in the middle of a sync can serve one architecture's security list and not the other's,
    # while the i386 and amd64 builds of a multi-arch library must be of one version: take the release's own.
    release=$(. /etc/os-release && echo "$VERSION_CODENAME")
    apt-get install -y -q --no-install-recommends -t "$release" "${need[@]}"
  fi
fi

# The product is a 32-bit Windows DLL, so Wine's 32-bit loader must run. Some kernels cannot execute i386 programs
# (a virtual machine that runs 64-bit user code only): the loader then fails with "Exec format error" (126).
# There every i386 program, Wine's loader, its server and each Windows program it starts, runs under qemu's
# user-mode emulator, registered with the kernel's binfmt_misc; the F flag opens the emulator once, at
# registration, so it also serves programs started inside other mount namespaces.
loader=/usr/lib/wine/wine
. "$(dirname "$0")/i386-emulator.sh"

loader_status() {
  local s=0
  "$loader" --version >/dev/null 2>&1 || s=$?
  echo "$s"
}

status=$(loader_status)
if [ "$status" -eq 0 ]; then
  if handler=$(i386_emulator); then
    version=$("$handler" --version 2>/dev/null | sed -n '1s/.*version \([0-9.]*\).*/\1/p')
    case $version in
      [0-8].*|9.0*) note=" (qemu $version, older than 9.1: Wine starts slowly there and the Windows tests fail)" ;;
      *) note="" ;;
    esac
    echo "setup: i386 programs run under the emulator registered with binfmt_misc ($handler); kept as it is$note"
  else
    echo "setup: i386 programs run natively; no emulator needed"
  fi
elif [ "$status" -eq 126 ]; then
  # The emulator must be 9.1 or later. Older ones keep a flag per guest page and search those flags page by
  # page for every mapping of a free address; Wine's loader reserves most of the 32-bit address space at start,
  # and then each Wine process spends a minute of processor time starting, a new prefix ten.
  qemu_min=1:9.1
  export DEBIAN_FRONTEND=noninteractive
  installed=$(dpkg-query -W -f='${Version}' qemu-user 2>/dev/null || true)
  if [ -z "$installed" ] || ! dpkg --compare-versions "$installed" ge "$qemu_min"; then
    apt-get update -q || true
    candidate=$(apt-cache policy qemu-user | sed -n 's/^ *Candidate: //p')
    if [ -n "$candidate" ] && [ "$candidate" != "(none)" ] && dpkg --compare-versions "$candidate" ge "$qemu_min"; then
      apt-get install -y -q --no-install-recommends qemu-user
    else
      # The release's own is too old: its backports have a newer one, from the mirror the release comes from.
      # Backports install only when asked for by name, so nothing else on the machine moves.
      release=$(. /etc/os-release && echo "$VERSION_CODENAME")
      mirror=$(apt-cache policy | awk -v r="$release/main" '$3 == r && $2 ~ /^https?:/ { print $2; exit }')
      [ -n "$mirror" ] || { echo "setup: no package mirror of $release found for its backports" >&2; exit 1; }
      printf 'Types: deb\nURIs: %s\nSuites: %s-backports\nComponents: main\nSigned-By: %s\n' \
        "$mirror" "$release" /usr/share/keyrings/debian-archive-keyring.gpg \
        > "/etc/apt/sources.list.d/$release-backports.sources"
      apt-get update -q || true
      apt-get install -y -q --no-install-recommends -t "$release-backports" qemu-user
    fi
  fi
  [ -f "$binfmt/status" ] || mount -t binfmt_misc binfmt_misc "$binfmt"
  echo 1 > "$binfmt/status"
  if [ -e "$binfmt/qemu-i386" ]; then
    echo 1 > "$binfmt/qemu-i386"
  else
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F' \
      > "$binfmt/register"
  fi
  status=$(loader_status)
  if [ "$status" -ne 0 ]; then
    echo "setup: this kernel cannot execute i386 programs, and Wine's loader fails under the emulator too" \
         "(status $status)" >&2
    exit 1
  fi
  echo "setup: this kernel cannot execute i386 programs: registered $(/usr/bin/qemu-i386 --version | head -n 1)" \
       "with binfmt_misc (F flag)"
else
  echo "setup: Wine's loader $loader fails with status $status" >&2
  exit 1
fi
