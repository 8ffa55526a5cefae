# Shared by the quick-scan benchmarks (sourced, not run): times the quick
# scan and `fls -r -d` on the same image in the same run and prints both,
# the ratio of their times and the scan's peak memory.
#
#   build_image_once IMAGE MAKE_FUNCTION
#   compare_with_fls BUILD_DIR IMAGE FLS_TYPE

# Runs MAKE_FUNCTION unless IMAGE exists already (images are cached in the
# build folder, as they take a while to make).
build_image_once() {
  local image=$1 make=$2
  [ -f "$image" ] && return 0
  echo "building $image (once) ..."
  local start
  start=$(date +%s)
  "$make"
  echo "built in $(( $(date +%s) - start )) s"
}

compare_with_fls() {
  local build=$1 image=$2 fls_type=$3
  local bench_exe="$build/bench/quick_scan_bench"
  [ -x "$bench_exe" ] || { echo "build $bench_exe first" >&2; return 1; }
  local data
  data=$(mktemp -d)
  # Warm the page cache for both readers alike.
  cat "$image" >/dev/null

  local ours ours_s fls_start fls_end fls_lines fls_s
  ours=$(VARNELLE_DATA_DIR="$data" "$bench_exe" "$image")
  rm -rf "$data"
  ours_s=$(awk '{ for (i = 1; i < NF; ++i) if ($i == "seconds") print $(i + 1) }' <<<"$ours")

  fls_start=$(date +%s.%N)
  fls_lines=$(fls -r -d -f "$fls_type" "$image" | wc -l)
  fls_end=$(date +%s.%N)
  fls_s=$(awk -v a="$fls_start" -v b="$fls_end" 'BEGIN { printf "%.3f", b - a }')

  echo "varnelle quick scan: $ours"
  echo "fls -r -d:           lines $fls_lines seconds $fls_s"
  awk -v o="$ours_s" -v f="$fls_s" \
    'BEGIN { printf "ratio varnelle/fls: %.2f (target <= 1.00)\n", o / f }'
}
