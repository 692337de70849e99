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
