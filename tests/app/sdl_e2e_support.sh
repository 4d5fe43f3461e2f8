# Shared by the end-to-end tests that drive the real program on a virtual X server
# with the SDL backend: starting the server and the program, real key presses and
# clicks through xdotool, waiting for the screen to change, screenshots, and a clean
# end on every path. Sourced by *_test.sh next to it; $1 of the test is the build
# directory.
#
# The screen is read from the server's own frame buffer file (Xvfb -fbdir), so no
# screenshot tool is needed. Waits poll that screen or the files on disk.

e2e_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
e2e_screen_tool="$e2e_here/xvfb_screen.py"
e2e_name=${e2e_name:-e2e}
e2e_xvfb=""
e2e_watchdog=""
e2e_prog=""
e2e_dir=""
e2e_shots=()

e2e_say() { echo "$e2e_name: $*"; }

# Skips the test (exit 0) when something it needs is missing.
e2e_require() {
  local build=$1 tool
  for tool in Xvfb xdotool python3; do
    if ! command -v "$tool" >/dev/null 2>&1; then
      e2e_say "$tool is not installed; skipped"
      exit 0
    fi
  done
  for tool in sitekeeper ksf; do
    if [ ! -x "$build/$tool" ]; then
      e2e_say "$build/$tool is not built; skipped"
      exit 0
    fi
  done
  e2e_build=$build
}

# Ends the program (a polite signal first) and the server, and removes the
# temporary directory. Runs on every exit.
e2e_cleanup() {
  if [ -n "$e2e_prog" ] && kill -0 "$e2e_prog" 2>/dev/null; then
    kill -TERM "$e2e_prog" 2>/dev/null
    for _ in $(seq 1 30); do kill -0 "$e2e_prog" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$e2e_prog" 2>/dev/null
    wait "$e2e_prog" 2>/dev/null
  fi
  [ -n "$e2e_watchdog" ] && kill "$e2e_watchdog" 2>/dev/null
  if [ -n "$e2e_xvfb" ]; then
    kill -TERM "$e2e_xvfb" 2>/dev/null
    wait "$e2e_xvfb" 2>/dev/null
  fi
  [ -n "$e2e_dir" ] && rm -rf "$e2e_dir"
}

# A temporary directory holding the program's start directory, its configuration
# home and the server's frame buffer.
e2e_setup() {
  e2e_dir=$(mktemp -d "/tmp/$e2e_name.XXXXXX")
  trap e2e_cleanup EXIT
  trap 'exit 1' INT TERM HUP
  mkdir -p "$e2e_dir/run" "$e2e_dir/config" "$e2e_dir/fb"
  e2e_fb="$e2e_dir/fb/Xvfb_screen0"
  e2e_base="$e2e_dir/baseline"
  e2e_log="$e2e_dir/program.log"
}

# The virtual server on a free display number. Tests running side by side may
# reach for the same number: the one that loses finds its server gone (the other
# holds the lock) and tries the next number. The frame buffer file in this test's
# own directory tells that the server that answers is this one.
e2e_start_display() {
  local n=$((90 + $$ % 40)) attempt
  for attempt in 1 2 3 4 5 6 7 8; do
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    rm -f "$e2e_fb"
    Xvfb ":$n" -screen 0 1024x768x24 -fbdir "$e2e_dir/fb" -nolisten tcp >"$e2e_dir/xvfb.log" 2>&1 &
    e2e_xvfb=$!
    export DISPLAY=":$n"
    for _ in $(seq 1 100); do
      kill -0 "$e2e_xvfb" 2>/dev/null || break
      if [ -s "$e2e_fb" ] && xdotool getmouselocation >/dev/null 2>&1; then
        e2e_start_watchdog
        return 0
      fi
      sleep 0.1
    done
    kill -KILL "$e2e_xvfb" 2>/dev/null
    wait "$e2e_xvfb" 2>/dev/null
    e2e_xvfb=""
    n=$((n + 1))
  done
  e2e_say "the virtual X server did not start"
  cat "$e2e_dir/xvfb.log"
  exit 1
}

# Should this shell be killed outright (no trap runs), the watchdog ends the
# program and the server and removes the directory.
e2e_start_watchdog() {
  local shell=$$
  (
    trap - EXIT INT TERM HUP
    while kill -0 "$shell" 2>/dev/null; do sleep 1; done
    [ -s "$e2e_dir/program.pid" ] && kill -KILL "$(cat "$e2e_dir/program.pid")"
    kill -KILL "$e2e_xvfb"
    rm -rf "$e2e_dir"
  ) >/dev/null 2>&1 &
  e2e_watchdog=$!
}

# Fails the test: a screenshot of the moment and the program's output.
e2e_fail() {
  e2e_say "FAILED: $*"
  [ -s "$e2e_fb" ] && python3 "$e2e_screen_tool" png "$e2e_fb" "/tmp/e2e-$e2e_name-failure.png" &&
    e2e_say "the screen is in /tmp/e2e-$e2e_name-failure.png"
  [ -s "$e2e_log" ] && { e2e_say "program output:"; cat "$e2e_log"; }
  exit 1
}

# Starts Sitekeeper in the run directory and waits for its window and its first
# painted screen, with the site list (which creates the data files) open.
e2e_start_program() {
  (
    cd "$e2e_dir/run" || exit 1
    export SITEKEEPER_DISPLAY=sdl SDL_AUDIODRIVER=dummy XDG_CONFIG_HOME="$e2e_dir/config" XDG_STATE_HOME="$e2e_dir/state"
    export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
    export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
    export LSAN_OPTIONS="suppressions=$e2e_here/../platform/display/sdl_leaks.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
    exec "$e2e_build/sitekeeper"
  ) >"$e2e_log" 2>&1 &
  e2e_prog=$!
  echo "$e2e_prog" >"$e2e_dir/program.pid"
  e2e_window=""
  for _ in $(seq 1 150); do
    kill -0 "$e2e_prog" 2>/dev/null || e2e_fail "the program ended at start"
    e2e_window=$(xdotool search --name '^Sitekeeper$' 2>/dev/null | head -n 1)
    [ -n "$e2e_window" ] && [ -e "$e2e_dir/run/LINKDB.KSF" ] && break
    sleep 0.1
  done
  [ -n "$e2e_window" ] || e2e_fail "no window named Sitekeeper"
  [ -e "$e2e_dir/run/LINKDB.KSF" ] || e2e_fail "the site list did not create LINKDB.KSF"
  # There is no window manager: the keyboard goes where the focus is set.
  xdotool windowfocus --sync "$e2e_window" || e2e_fail "the window cannot take the focus"
  python3 "$e2e_screen_tool" still "$e2e_fb" 10 || e2e_fail "the first screen never settled"
}

# Key presses and typed text go to the focused window as real input (XTEST).
e2e_key() { xdotool key --delay 40 "$@"; }
e2e_type() { xdotool type --delay 25 -- "$1"; }
e2e_click() { xdotool mousemove "$1" "$2" click 1; }

# Tab moves the focus when the program reads the key, not when it is sent: a
# character typed right behind it could still land in the field before. So each
# Tab is followed by a short pause and a settled screen.
e2e_tab() {
  local i
  for ((i = 0; i < ${1:-1}; i++)); do
    e2e_key Tab
    sleep 0.3
    python3 "$e2e_screen_tool" still "$e2e_fb" 5 || e2e_fail "the screen did not settle after Tab"
  done
}

# Runs the action and waits until the screen changed by at least the given number
# of cells (a window opened or closed) and settled again.
e2e_expect_change() {
  local cells=$1 what=$2
  shift 2
  python3 "$e2e_screen_tool" snap "$e2e_fb" "$e2e_base"
  "$@"
  python3 "$e2e_screen_tool" changed "$e2e_fb" "$e2e_base" "$cells" 15 || e2e_fail "$what did not show"
}

e2e_settle() { python3 "$e2e_screen_tool" still "$e2e_fb" 10 || e2e_fail "the screen did not settle"; }

# Saves the screen as /tmp/e2e-<name>.png.
e2e_shot() {
  local out="/tmp/e2e-$1.png"
  python3 "$e2e_screen_tool" png "$e2e_fb" "$out" || e2e_fail "no screenshot $out"
  e2e_shots+=("$out")
}

# Whether the rectangle shows anything but its background colour.
e2e_ink() { python3 "$e2e_screen_tool" ink "$e2e_fb" "$@"; }

# The ink in the description column of the site list's row r (from 1), in screen
# pixels where a first start puts the frame and the list.
e2e_row_ink() {
  local top=$((155 + 16 * ($1 - 1)))
  e2e_ink 60 "$top" 245 $((top + 14))
}

# Polls until the command succeeds, for at most the given seconds.
e2e_wait_for() {
  local seconds=$1 what=$2
  shift 2
  local end=$((SECONDS + seconds))
  until "$@"; do
    [ $SECONDS -lt $end ] || e2e_fail "$what"
    kill -0 "$e2e_prog" 2>/dev/null || e2e_fail "the program ended while waiting: $what"
    sleep 0.1
  done
}

# Waits for the program to end on its own, for at most the given seconds (fails
# with the given text after that), and sets e2e_rc to its exit code.
e2e_wait_for_end() {
  local seconds=$1 what=$2
  local end=$((SECONDS + seconds))
  while kill -0 "$e2e_prog" 2>/dev/null; do
    [ $SECONDS -lt $end ] || e2e_fail "$what"
    sleep 0.1
  done
  wait "$e2e_prog"
  e2e_rc=$?
  e2e_prog=""
  rm -f "$e2e_dir/program.pid"
}

# Ends the program through its menu (File, Exit) and checks that it ended on its
# own with code 0 and nothing from the sanitizers. The one line the address
# sanitizer always prints for the window engine's stack switching is not a report.
e2e_quit() {
  e2e_key alt+f x
  e2e_wait_for_end 20 "the program did not end after File, Exit"
  [ "$e2e_rc" -eq 0 ] || e2e_fail "the program ended with code $e2e_rc"
  if grep -v "WARNING: ASan doesn't fully support makecontext/swapcontext" "$e2e_log" | grep -q .; then
    e2e_fail "the program printed something at run or exit"
  fi
}

# The records of a KSF file as the ksf tool dumps them, one JSON object a line.
e2e_dump() { "$e2e_build/ksf" dump "$e2e_dir/run/$1"; }
