#!/usr/bin/env bash
# The main job, end to end: set-up, build, a small FAT image with deleted
# photos, music and video made by the fixture scripts, and
#   varnelle recover <image> recovered/
# which brings the deleted files back into recovered/photo, recovered/audio,
# recovered/video. Run from anywhere; works in the checkout's top folder.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

if [ -f tools/setup.sh ]; then
  bash tools/setup.sh
fi

echo "== build"
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target varnelle -j2

# The sample: the FAT16 fixture (photos, music and video in nested folders,
# some deleted, one deleted folder tree). Only the media and FAT scripts are
# needed for it; a full fixture build (the tests') makes the same file.
fixtures=build/fixtures
image=$fixtures/fat16.img
if [ ! -f "$image" ] || [ ! -f "$image.manifest" ]; then
  echo "== sample image"
  bash tools/fixtures/make_00_media.sh "$fixtures"
  bash tools/fixtures/make_10_fat.sh "$fixtures"
fi
echo "== what the sample held (deleted files are the ones to come back)"
grep -v '^[#%]' "$image.manifest" | awk -F '\t' '$5 !~ /(^|,)folder(,|$)/ { printf "  %-8s %s\n", $1, $2 }'

# A folder this script made before is replaced; anything else is left alone.
dest=recovered
if [ -e "$dest/.varnelle-demo" ]; then rm -rf "$dest"; fi
if [ -e "$dest" ]; then
  echo "demo: '$dest' exists and was not made by this script; move it away first" >&2
  exit 1
fi
mkdir -p "$dest" && touch "$dest/.varnelle-demo"

export VARNELLE_DATA_DIR=${VARNELLE_DATA_DIR:-$top/build/demo-data}
echo "== build/varnelle recover $image $dest/"
status=0
build/varnelle recover "$image" "$dest/" || status=$?

echo "== where the files went"
find "$dest" -type f ! -name .varnelle-demo | sort | sed 's/^/  /'

# Every recovered file is checked against the manifest's SHA-256 of the
# deleted files.
expected=$(awk -F '\t' '$1 == "deleted" && $5 !~ /(^|,)folder(,|$)/ { print $4 }' "$image.manifest" | sort -u)
identical=0
while IFS= read -r -d '' file; do
  sum=$(sha256sum "$file" | cut -d' ' -f1)
  if grep -qx "$sum" <<<"$expected"; then identical=$((identical + 1)); fi
done < <(find "$dest" -type f ! -name .varnelle-demo -print0)
echo "== $identical recovered files are byte-identical to deleted files of the sample" \
     "($(wc -l <<<"$expected") deleted files in it)"
exit "$status"
