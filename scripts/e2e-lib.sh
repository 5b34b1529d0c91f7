# Sourced by the end-to-end scripts: a private mount namespace, an X server,
# a home and a temporary folder of their own, starting a program, waiting for
# its windows, and the tally of cases.
#
# Every wait is for the event itself, polled, and gives up only after
# TESSAVEL_E2E_LIMIT seconds (a minute): a loaded machine is slow, not wrong.
#
# Windows are found by the program's pid and told apart by _NET_WM_NAME,
# which Qt writes in UTF-8. xdotool's search by name reads the legacy WM_NAME
# instead, which Qt writes in the locale's encoding: without a UTF-8 locale
# a title with "ü" is not found there.

e2e_name=$(basename "$0")
e2e_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
e2e_limit=${TESSAVEL_E2E_LIMIT:-60}
bin=${TESSAVEL_BIN:-$(dirname "$e2e_here")/build/bin}
title="Installation der Tessavel für X-Plane 9"

skip_all() { echo "$e2e_name: skipped: $*"; exit 77; }

# Checks the tools named, then runs the script again in a private mount
# namespace (as an ordinary user inside a user namespace of its own, where
# it is root only for its own mounts). With --optional the script goes on
# without one where none can be made, and TESSAVEL_NO_MOUNT is then set.
e2e_enter() {
  local optional="" tool ns
  [ "${1:-}" = --optional ] && { optional=1; shift; }
  [ "${TESSAVEL_E2E_INNER:-}" = 1 ] && return 0
  for tool in "$@"; do
    command -v "$tool" >/dev/null || skip_all "$tool is not installed"
  done
  if [ "$(id -u)" -eq 0 ]; then ns=(unshare -m --propagation private); else ns=(unshare -rm --propagation private); fi
  export TESSAVEL_E2E_INNER=1 MOUNT_DISC_IMAGE_ONLY=1
  if command -v unshare >/dev/null && "${ns[@]}" true 2>/dev/null; then
    exec "${ns[@]}" "$0"
  fi
  [ -n "$optional" ] || skip_all "no private mount namespace can be made here (unshare ${ns[*]:1} is refused)"
  export TESSAVEL_NO_MOUNT=1
}

# The work folder, and a home, XDG folders and TMPDIR in it for everything
# started from here: nothing is written into the caller's, and everything
# goes when the script ends, however it ends.
e2e_setup() {
  set +e  # each check reports its failure itself; the run goes on
  unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM XAUTHORITY
  work=$(mktemp -d "${TMPDIR:-/tmp}/tessavel-$e2e_name-XXXXXX") || exit 1
  pid="" win="" found="" xpid=""
  e2e_mounts=()
  passed=0 failed=0 skipped=0
  trap e2e_cleanup EXIT
  trap 'exit 129' HUP
  trap 'exit 130' INT
  trap 'exit 143' TERM
  export HOME=$work/home
  export XDG_CONFIG_HOME=$HOME/.config XDG_CACHE_HOME=$HOME/.cache XDG_DATA_HOME=$HOME/.local/share
  export XDG_RUNTIME_DIR=$work/runtime TMPDIR=$work/tmp
  mkdir -m 0700 -p "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR" "$TMPDIR"
}

e2e_cleanup() {
  local j m
  for j in $(jobs -p); do [ "$j" = "$xpid" ] || kill -9 "$j" 2>/dev/null; done
  for m in "${e2e_mounts[@]}"; do "$e2e_here/mount-disc" -u "$m" 2>/dev/null; done
  stop_x
  wait 2>/dev/null
  rm -rf "$work"
}

# ---- cases ----

fail() { echo "  FAIL: $*"; ok=0; }
case_begin() { echo "$e2e_name: $1"; ok=1; case_skipped=""; }
# The case cannot be tried here; why, in words.
case_skip() { echo "  skipped: $*"; case_skipped=1; }
case_end() {
  if [ "$ok" != 1 ]; then failed=$((failed+1))
  elif [ -n "$case_skipped" ]; then skipped=$((skipped+1))
  else passed=$((passed+1)); fi
}
# Status 1 on a failure; else 77 where a case had to be skipped.
e2e_summary() {
  echo "$e2e_name: $passed passed, $failed failed, $skipped skipped"
  [ "$failed" = 0 ] || exit 1
  [ "$skipped" = 0 ] || exit 77
  exit 0
}

# Runs the command until it succeeds, for up to the limit.
wait_until() {
  local end=$((SECONDS + e2e_limit))
  until "$@"; do
    [ "$SECONDS" -lt "$end" ] || return 1
    sleep 0.05
  done
}

# ---- discs ----

# Mounts folder $1 as a read-only disc named $2 at $3 (see mount-disc); says
# how, or sets disc_why to why it cannot.
disc_mount() {
  local how
  if ! how=$("$e2e_here/mount-disc" "$1" "$2" "$3" 2>"$work/mount.err"); then
    disc_why=$(sed 's/^mount-disc: //' "$work/mount.err")
    return 1
  fi
  e2e_mounts+=("$3")
  grep -q " $3 .* ro[, ]" /proc/self/mountinfo || fail "disc not mounted read-only"
  echo "  ($2 mounted read-only through $how)"
}

disc_unmount() {
  local m kept=()
  "$e2e_here/mount-disc" -u "$1"
  for m in "${e2e_mounts[@]}"; do [ "$m" = "$1" ] || kept+=("$m"); done
  e2e_mounts=("${kept[@]}")
}

# ---- the X server ----

x_ready() { [ -s "$work/display" ] || ! kill -0 "$xpid" 2>/dev/null; }

# Starts an X server of its own on a free display; sets xpid and DISPLAY.
# -noreset: a server resets itself whenever its last client leaves (here
# after every xdotool call while no program runs), and refuses connections
# meanwhile, so that now and then a program could not open its display.
start_x() {
  : >"$work/display"
  Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" & xpid=$!
  wait_until x_ready
  if [ ! -s "$work/display" ]; then
    if ! kill -0 "$xpid" 2>/dev/null; then
      xpid=""
      skip_all "Xvfb does not start here: $(tail -1 "$work/xvfb.log")"
    fi
    echo "  FAIL: Xvfb gave no display within ${e2e_limit}s"; exit 1
  fi
  export DISPLAY=:$(head -1 "$work/display")
}

# Ends the X server, as when the display goes away.
stop_x() {
  [ -n "${xpid:-}" ] || return 0
  kill "$xpid" 2>/dev/null
  wait "$xpid" 2>/dev/null
  xpid=""
}

# ---- programs and their windows ----

running() { [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; }
ended() { ! running; }
err_tail() { [ -s "$work/err" ] && printf ' (it said: %s)' "$(tail -c 300 "$work/err")"; }

visible_windows() { xdotool search --all --onlyvisible --pid "$pid" 2>/dev/null; }
window_name() { xdotool getwindowname "$1" 2>/dev/null; }
is_visible() { visible_windows | grep -qx "$1"; }

# Sets found to a visible window of the program, other than the main window,
# named exactly $1.
find_window() {
  local w
  for w in $(visible_windows); do
    if [ "$w" != "$win" ] && [ "$(window_name "$w")" = "$1" ]; then found=$w; return 0; fi
  done
  return 1
}

window_or_end() { find_window "$1" || ended; }

# Waits for a window named $1 (see find_window); status 2 where the program
# ended first, 1 where none came within the limit.
await_window() {
  found=""
  wait_until window_or_end "$1" || return 1
  [ -n "$found" ] || return 2
}

# As await_window, and a failure where none appears.
wait_window() {
  await_window "$1"
  case $? in
    0) return 0 ;;
    2) fail "the program ended before a window named '$1' appeared$(err_tail)" ;;
    *) fail "no window named '$1' appeared within ${e2e_limit}s" ;;
  esac
  return 1
}

has_focus() { xdotool windowfocus "$1" 2>/dev/null; [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]; }

# Gives the window the keyboard and returns once the X server says it has it.
focus() { wait_until has_focus "$1" || { fail "window $1 did not get the keyboard"; return 1; }; }

gone() { ended || ! is_visible "$1"; }

# Presses Return in window $1 once it has the keyboard; returns once the
# window is gone (or the program has ended).
answer() {
  local name
  name=$(window_name "$1")
  focus "$1" || return 1
  xdotool key Return
  wait_until gone "$1" || { fail "the window '$name' stayed after Return"; return 1; }
}

# Starts program $1 (with the arguments after it) in the folder start_in
# (else the work folder), where its folder dialog opens, and waits for its
# main window; sets pid and win, and gives the window the keyboard.
start() {
  (cd "${start_in:-$work}" && exec "$bin/$1" "${@:2}") >"$work/out" 2>"$work/err" & pid=$!
  win=""
  if ! await_window "$title"; then
    fail "main window did not appear$(err_tail)"
    kill -9 "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; pid=""
    return 1
  fi
  win=$found
  focus "$win"
}

# The program ends by itself with status $1, not by a signal.
finish() {
  local status=0
  if ! wait_until ended; then
    kill -9 "$pid"; fail "the program did not end within ${e2e_limit}s"
  fi
  wait "$pid" || status=$?
  [ "$status" = "$1" ] || fail "exit status $status, expected $1$(err_tail)"
  pid="" win=""
}
