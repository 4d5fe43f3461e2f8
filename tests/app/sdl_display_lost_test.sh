#!/usr/bin/env bash
# The real program on a virtual X server that goes away under it: the program
# ends at once with code 1 and a plain message, and the files it had open stay
# whole (the ksf tool checks them clean).
# $1 is the build directory. Skipped (exit 0) when Xvfb or xdotool is missing.
set -u
e2e_name=sdl_display_lost
source "$(dirname "$0")/sdl_e2e_support.sh"
e2e_require "${1:?build directory}"
e2e_setup
e2e_start_display
e2e_start_program

kill -KILL "$e2e_xvfb"
wait "$e2e_xvfb" 2>/dev/null
e2e_xvfb=""
e2e_wait_for_end 20 "the program did not end when the display went"
[ "$e2e_rc" -eq 1 ] || e2e_fail "the program ended with code $e2e_rc, not 1"
grep -q "^Sitekeeper: the connection to the display was lost.$" "$e2e_log" ||
  e2e_fail "the program did not say the display was lost"
if grep -v "WARNING: ASan doesn't fully support makecontext/swapcontext" "$e2e_log" |
   grep -v "^Sitekeeper: the connection to the display was lost.$" | grep -v "^X connection to" | grep -q .; then
  e2e_fail "the program printed more than the message"
fi
for f in LINKDB.KSF CATEGORIES.KSF; do
  "$e2e_build/ksf" check "$e2e_dir/run/$f" >/dev/null || e2e_fail "$f does not check clean"
done
e2e_say "passed"
