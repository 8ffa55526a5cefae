#!/usr/bin/env bash
# Builds Varnelle and passes every test:
#   1. native build (g++) and its tests, with the real fixtures;
#   2. sanitizer build (address + undefined) and its tests, same fixtures;
#   3. Windows x86_64 build (mingw-w64) and its tests under wine64;
#   4. Windows i686 build (compile and link only: this kernel runs no 32-bit
#      programs).
# Installs what is missing first (tools/setup.sh). Build folders live under
# out/ (VARNELLE_OUT to move them). Exits non-zero when any step fails.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out=${VARNELLE_OUT:-$root/out}
jobs=${VARNELLE_JOBS:-2}
mkdir -p "$out"

bash "$root/tools/setup.sh" || { echo "test.sh: set-up failed" >&2; exit 1; }

summary=()
failures=0

# step NAME COMMAND...: runs one step, records its outcome and time.
step() {
  local name=$1
  shift
  local start=$SECONDS
  echo
  echo "==== $name"
  if "$@"; then
    summary+=("ok      $name ($((SECONDS - start)) s)")
  else
    summary+=("FAILED  $name ($((SECONDS - start)) s)")
    failures=$((failures + 1))
  fi
}

configure_and_build() {
  local folder=$1
  shift
  cmake -S "$root" -B "$folder" -G Ninja "$@" && cmake --build "$folder" -j "$jobs"
}

run_ctest() {
  (cd "$1" && ctest --output-on-failure --timeout 300 -j "$jobs")
}

native_tests() {
  configure_and_build "$out/native" -DCMAKE_BUILD_TYPE=RelWithDebInfo && run_ctest "$out/native"
}

sanitizer_tests() {
  configure_and_build "$out/asan" -DCMAKE_BUILD_TYPE=Debug -DVARNELLE_SANITIZE=ON \
    -DVARNELLE_BENCH=OFF -DVARNELLE_FIXTURE_DIR="$out/native/fixtures" &&
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
      run_ctest "$out/asan"
}

windows_build() {
  local arch=$1
  configure_and_build "$out/win-$arch" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DVARNELLE_FIXTURE_DIR="$out/native/fixtures"
}

# wine64 without a screen: a virtual X server, a persistent wineserver and a
# prefix whose background services were started with stdio on /dev/null, so
# that they never hold ctest's output pipes open (ctest would hang).
xvfb_pid=
start_wine() {
  export WINEPREFIX=${VARNELLE_WINEPREFIX:-$out/wine-prefix}
  export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  local display_file="$out/xvfb-display"
  rm -f "$display_file"
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$display_file" </dev/null \
    >/dev/null 2>&1 &
  xvfb_pid=$!
  local waited=0
  until [ -s "$display_file" ]; do
    sleep 0.1
    waited=$((waited + 1))
    [ $waited -lt 100 ] || { echo "Xvfb did not start" >&2; return 1; }
  done
  export DISPLAY=":$(cat "$display_file")"
  mkdir -p "$WINEPREFIX"
  /usr/lib/wine/wineserver -p || return 1
  /usr/lib/wine/wine64 wineboot -i </dev/null >/dev/null 2>&1 || return 1
  # Debian's wine does not load its own fonts; the prefix needs copies.
  cp -n /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
}

stop_wine() {
  if [ -n "${WINEPREFIX:-}" ]; then /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true; fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  xvfb_pid=
}
trap stop_wine EXIT

windows_x86_64_tests() {
  windows_build x86_64 || return 1
  start_wine || return 1
  run_ctest "$out/win-x86_64"
  local result=$?
  stop_wine
  return $result
}

step "native build and tests" native_tests
step "sanitizer build and tests" sanitizer_tests
step "Windows x86_64 build and tests under wine64" windows_x86_64_tests
step "Windows i686 build" windows_build i686

echo
echo "==== summary"
printf '  %s\n' "${summary[@]}"
if [ $failures -ne 0 ]; then
  echo "test.sh: $failures step(s) failed"
  exit 1
fi
echo "test.sh: everything passed"
