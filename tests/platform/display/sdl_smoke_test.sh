#!/usr/bin/env bash
# Smoke test of the SDL backend under a virtual X server: runs the SDL backend test
# program against Xvfb and checks that it drew into the OS window and got its input.
# $1 is the build directory. Skipped (exit 0) when Xvfb or the program is missing.
set -u
build=${1:?build directory}
prog="${SDL_SMOKE_PROGRAM:-$build/test_platform_display_sdl_backend_test}"
if ! command -v Xvfb >/dev/null 2>&1; then
  echo "sdl_smoke: Xvfb is not installed; skipped"
  exit 0
fi
if [ ! -x "$prog" ]; then
  echo "sdl_smoke: $prog is not built; skipped"
  exit 0
fi
# A display number nobody uses: the first free one from 90 up.
n=90
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 640x480x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; wait $xvfb 2>/dev/null' EXIT
for _ in $(seq 1 50); do
  [ -e "/tmp/.X11-unix/X$n" ] && break
  sleep 0.1
done
here=$(cd "$(dirname "$0")" && pwd)
out=$(DISPLAY=":$n" SITEKEEPER_DISPLAY=sdl SDL_AUDIODRIVER=dummy \
      LSAN_OPTIONS="suppressions=$here/sdl_leaks.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}" "$prog" 2>&1)
rc=$?
echo "$out"
if [ $rc -ne 0 ]; then
  echo "sdl_smoke: the program failed ($rc)"
  exit 1
fi
if echo "$out" | grep -q "SKIPPED \]"; then
  echo "sdl_smoke: the program skipped its test under Xvfb"
  exit 1
fi
echo "sdl_smoke: passed"
