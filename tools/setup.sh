#!/usr/bin/env bash
# Installs every Debian package that the build, the fixtures, the tests and
# the benchmarks need. Safe to run again: when everything is present it only
# checks and returns (no apt call). Non-interactive; needs root (or sudo).
set -euo pipefail

PACKAGES=(
  # native build
  build-essential cmake ninja-build
  # unit tests and benchmarks (GoogleTest sources also cross-build for Windows)
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  # Windows builds, and the x86_64 tests under wine64 on a virtual screen
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  wine wine64 fonts-wine xvfb xauth
  # fixtures: file systems, partition tables, loop devices
  dosfstools mtools ntfs-3g fuse3 e2fsprogs fdisk mount
  # fixtures: real media from real encoders, archives; reference listings
  ffmpeg imagemagick sox zip unzip p7zip-full sleuthkit
  # fixtures: NTFS short names, camera-style Exif, installer and cabinet
  # samples, a trimmed font, an MPEG audio layer II encoder
  python3 python3-fonttools libimage-exiftool-perl gcab msitools sqlite3
  fonts-dejavu-core libtwolame0
)

missing_packages() {
  # dpkg-query prints nothing for a package it has never heard of.
  local installed
  installed=$(dpkg-query -W -f='${Package} ${db:Status-Abbrev}\n' "${PACKAGES[@]}" 2>/dev/null |
              awk '$2 == "ii" { print $1 }')
  local package
  for package in "${PACKAGES[@]}"; do
    grep -qx -- "$package" <<<"$installed" || echo "$package"
  done
}

mapfile -t missing < <(missing_packages)
if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all ${#PACKAGES[@]} packages present"
  exit 0
fi

echo "setup: installing ${missing[*]}"
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -q
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null
