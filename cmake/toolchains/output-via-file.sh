#!/usr/bin/env bash
# Runs a command with its output going to a file, and shows that file once the command
# has ended (or has been stopped at its time-out). Under wine a program can start a
# process of wine's own (the desktop window's, a service) that outlives it and keeps
# the output it was given open; were that CTest's pipe, CTest would wait on it until
# the test's time-out. A file kept open by such a process holds nothing up.
set -u
out=$(mktemp)
child=
show() {
  cat "$out"
  rm -f "$out"
}
trap '[ -n "$child" ] && kill "$child" 2>/dev/null; show; exit 124' TERM INT
# In the background so that the trap can run at a time-out; standard input is passed on
# (a command put in the background would otherwise read /dev/null).
"$@" >"$out" 2>&1 0<&0 &
child=$!
wait "$child"
status=$?
show
exit "$status"
