#!/usr/bin/env bash
# FAT32 quick scan against `fls -r -d` on the same image: a 512 MiB FAT32
# volume (4 KiB clusters) made by mkfs.fat and filled by mtools with 30,000
# small files in 100 folders two levels deep. Files f0* and f1* of 95 folders
# (19,000) are deleted, and 5 folders are deleted whole (1,500 files inside
# deleted folders): 20,500 deleted files. The image is cached in the build
# folder. A deleted folder's chain is zeroed, so its entries are read from its
# first cluster and the free ones after it; fls also lists the entries of its
# other clusters as orphans, which a walk of the tree cannot reach.
#
#   bench/fat_scan_bench.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: fat_scan_bench.sh BUILD_DIR}" && pwd)
. "$(dirname "$0")/scan_bench_common.sh"
image="$build/bench-data/fat32-30k.img"
mkdir -p "$build/bench-data"
export MTOOLS_SKIP_CHECK=1

make_image() {
  local work
  work=$(mktemp -d)
  trap 'rm -rf "'"$work"'"' RETURN
  # d00..d19, each with s0..s4, each with photo files f000..f299.
  python3 - "$work/tree" <<'PY'
import os, sys
root = sys.argv[1]
body = b"\xff\xd8\xff\xe0" + bytes(60)
for d in range(20):
    for s in range(5):
        folder = os.path.join(root, "d%02d" % d, "s%d" % s)
        os.makedirs(folder)
        for f in range(300):
            with open(os.path.join(folder, "f%03d.jpg" % f), "wb") as out:
                out.write(body)
PY
  rm -f "$image.tmp"
  truncate -s 512M "$image.tmp"
  mkfs.fat -F 32 -s 8 -n BENCH "$image.tmp" >/dev/null
  mcopy -s -i "$image.tmp" "$work/tree"/* ::/
  local deletions=() deltree=()
  for d in $(seq -w 0 19); do
    for s in 0 1 2 3 4; do
      if [ "$s" = 4 ] && [ $((10#$d % 4)) = 0 ]; then
        deltree+=("::/d$d/s$s")
      else
        deletions+=("::/d$d/s$s/f0*.jpg" "::/d$d/s$s/f1*.jpg")
      fi
    done
  done
  mdel -i "$image.tmp" "${deletions[@]}"
  mdeltree -i "$image.tmp" "${deltree[@]}"
  mv "$image.tmp" "$image"
}

build_image_once "$image" make_image

compare_with_fls "$build" "$image" fat32
