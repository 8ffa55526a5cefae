#!/usr/bin/env bash
# NTFS quick scan against `fls -r -d` on the same image: an NTFS volume made
# by mkntfs and filled through an ntfs-3g mount with 50,000 small files in
# 100 folders, of which 20,000 (every fifth file of each folder, and then
# some) are deleted. The image is cached in the build folder.
#
#   bench/ntfs_scan_bench.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: ntfs_scan_bench.sh BUILD_DIR}" && pwd)
bench_exe="$build/bench/ntfs_scan_bench"
[ -x "$bench_exe" ] || { echo "build $bench_exe first" >&2; exit 1; }
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

if [ ! -f "$image" ]; then
  echo "building $image (once) ..."
  start=$(date +%s)
  make_image
  echo "built in $(( $(date +%s) - start )) s"
fi

data=$(mktemp -d)
trap 'rm -rf "$data"' EXIT
# Warm the page cache for both readers alike.
cat "$image" >/dev/null

ours=$(VARNELLE_DATA_DIR="$data" "$bench_exe" "$image")
ours_s=$(awk '{ for (i = 1; i < NF; ++i) if ($i == "seconds") print $(i + 1) }' <<<"$ours")

fls_start=$(date +%s.%N)
fls_lines=$(fls -r -d -f ntfs "$image" | wc -l)
fls_end=$(date +%s.%N)
fls_s=$(awk -v a="$fls_start" -v b="$fls_end" 'BEGIN { printf "%.3f", b - a }')

echo "varnelle quick scan: $ours"
echo "fls -r -d:           lines $fls_lines seconds $fls_s"
awk -v o="$ours_s" -v f="$fls_s" 'BEGIN { printf "ratio varnelle/fls: %.2f (target <= 1.00)\n", o / f }'
