#!/usr/bin/env bash
# NTFS quick scan against `fls -r -d` on the same image: an NTFS volume made
# by mkntfs and filled through an ntfs-3g mount with 50,000 small files in
# 100 folders, of which 20,000 (every fifth file of each folder, and then
# some) are deleted. The image is cached in the build folder.
#
#   bench/ntfs_scan_bench.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: ntfs_scan_bench.sh BUILD_DIR}" && pwd)
. "$(dirname "$0")/scan_bench_common.sh"
image="$build/bench-data/ntfs-50k.img"
mkdir -p "$build/bench-data"

make_image() {
  local work mnt
  work=$(mktemp -d)
  mnt="$work/mnt"
  mkdir -p "$mnt"
  trap 'mountpoint -q "'"$mnt"'" && umount "'"$mnt"'"; rm -rf "'"$work"'"' RETURN
  truncate -s 256M "$image.tmp"
  mkntfs -F -Q -q -c 4096 "$image.tmp" >/dev/null 2>&1
  ntfs-3g "$image.tmp" "$mnt"
  # 100 folders x 500 files; files 0, 5, 10, ... and 1, 6, 11, ... up to
  # 200 per folder are deleted afterwards (20,000 in all).
  python3 - "$mnt" <<'PY'
import os, sys
root = sys.argv[1]
for d in range(100):
    folder = os.path.join(root, "folder%03d" % d)
    os.mkdir(folder)
    for f in range(500):
        with open(os.path.join(folder, "photo%03d_%03d.jpg" % (d, f)), "wb") as out:
            out.write(b"\xff\xd8\xff\xe0" + bytes(60))
for d in range(100):
    folder = os.path.join(root, "folder%03d" % d)
    gone = 0
    for f in range(500):
        if f % 5 in (0, 1) and gone < 200:
            os.remove(os.path.join(folder, "photo%03d_%03d.jpg" % (d, f)))
            gone += 1
PY
  umount "$mnt"
  mv "$image.tmp" "$image"
}

build_image_once "$image" make_image

compare_with_fls "$build" "$image" ntfs
