#!/usr/bin/env bash
# End-to-end test over JACK MIDI: starts a private JACK server with the dummy driver,
# quaverly-instrument on a scratch directory, and the e2e client that identifies the
# instrument, lists a folder and moves a file each way through the JACK ports.
#
#   jack-instrument-e2e.sh TOOL CLIENT
#
# Exit status: 0 passed, 1 failed, 77 skipped (no JACK server could be started).
set -u

readonly SKIP=77
readonly PORT_NAME="Quaverly Virtual Instrument"
# Generous bounds: they only decide how long a broken run takes to fail.
readonly SERVER_START_SECONDS=20
readonly PORTS_SECONDS=30
readonly CLIENT_SECONDS=120
readonly STOP_SECONDS=10

if [ $# -ne 2 ]; then
  echo "usage: $0 TOOL CLIENT" >&2
  exit 2
fi
tool=$1
client=$2

started=$(date +%s.%N)
# Progress with the seconds since the start, so that a slow step shows.
note() {
  awk -v now="$(date +%s.%N)" -v start="$started" -v text="$*" 'BEGIN { printf "[%7.3f s] %s\n", now - start, text }'
}

if ! command -v jackd >/dev/null 2>&1; then
  note "SKIPPED: jackd is not installed"
  exit $SKIP
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/quaverly-e2e.XXXXXX") || exit 1
# A server of our own, so that parallel runs and the user's server never meet.
server="quaverly-e2e-$$-$RANDOM"
jackd_pid=""
tool_pid=""

# Sends TERM, waits up to SECONDS for the process to end, then KILL. Returns the
# process's exit status (137 after KILL).
stop_process() {
  local pid=$1 seconds=$2 i
  [ -n "$pid" ] || return 0
  kill -TERM "$pid" 2>/dev/null
  for ((i = 0; i < seconds * 10; i++)); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$pid" 2>/dev/null; then
    echo "process $pid did not stop within ${seconds}s; killing it" >&2
    kill -KILL "$pid" 2>/dev/null
  fi
  wait "$pid" 2>/dev/null
}

# shellcheck disable=SC2317  # called by the EXIT trap
cleanup() {
  stop_process "$tool_pid" "$STOP_SECONDS"
  stop_process "$jackd_pid" "$STOP_SECONDS"
  # A server that had to be killed leaves its socket and semaphores behind; the name
  # is ours alone.
  rm -f -- /dev/shm/jack_"$server"_* /dev/shm/jack_sem.*_"$server"_*
  note "cleaned up"
  # The drive holds a read-only file; its folder is writable, so rm can remove it.
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

show_log() {
  echo "----- $1 -----"
  tail -n 60 "$2" 2>/dev/null
  echo "----- end of $1 -----"
}

# Every JACK client of this run talks to our server, and none may start one by
# accident.
export JACK_DEFAULT_SERVER="$server"
export JACK_NO_START_SERVER=1
export JACK_NO_AUDIO_RESERVATION=1

# Sync mode (-S) is required: without it JACK loses MIDI messages under load.
jackd -n "$server" -r -S -d dummy -r 48000 -p 256 >"$work/jackd.log" 2>&1 &
jackd_pid=$!

# The JACK tools find our server through JACK_DEFAULT_SERVER. Their -s option is not
# used: jackd2 1.9.21's jack_lsp copies the name into a buffer one byte too short and
# corrupts its heap for some name lengths.
server_up() {
  if command -v jack_wait >/dev/null 2>&1; then
    timeout 10 jack_wait -c 2>/dev/null | grep -qx running
  else
    timeout 10 jack_lsp >/dev/null 2>&1
  fi
}

up=no
for ((i = 0; i < SERVER_START_SECONDS * 5; i++)); do
  if ! kill -0 "$jackd_pid" 2>/dev/null; then break; fi
  if server_up; then
    up=yes
    break
  fi
  sleep 0.2
done
if [ "$up" != yes ]; then
  note "SKIPPED: the JACK server could not be started"
  show_log jackd "$work/jackd.log"
  exit $SKIP
fi
note "JACK server $server is running"

# The instrument's drive: a folder with a sub-folder, a file to receive (over 128
# blocks, so the block counter wraps) and a read-only file.
drive="$work/drive"
mkdir -p "$drive/TEST/SUB" || exit 1
head -c 30001 /dev/urandom >"$drive/TEST/RECV.MID" || exit 1
head -c 100 /dev/urandom >"$drive/TEST/LOCKED.MID" || exit 1
chmod a-w "$drive/TEST/LOCKED.MID" || exit 1

device=5
identify_a=0x12
identify_b=0x34
capacity=1048576
"$tool" --api jack --dir "$drive" --device-number "$device" --identify "$identify_a" "$identify_b" \
  --capacity "$capacity" --wait-every 4 --wait-duration 50 --busy-after-end 300 -v \
  >"$work/tool.log" 2>&1 &
tool_pid=$!

# The tool prints its banner once both ports are open.
ready=no
for ((i = 0; i < PORTS_SECONDS * 5; i++)); do
  if ! kill -0 "$tool_pid" 2>/dev/null; then break; fi
  if grep -q "^Serving until interrupted" "$work/tool.log" 2>/dev/null; then
    ready=yes
    break
  fi
  sleep 0.2
done
if [ "$ready" != yes ]; then
  note "FAILED: quaverly-instrument did not open its ports"
  show_log quaverly-instrument "$work/tool.log"
  show_log jackd "$work/jackd.log"
  exit 1
fi
note "quaverly-instrument has opened its ports"
ports=$(timeout 20 jack_lsp 2>/dev/null | grep -c -F "$PORT_NAME")
if [ "$ports" -ne 2 ]; then
  note "FAILED: JACK lists $ports ports named $PORT_NAME, not 2"
  show_log quaverly-instrument "$work/tool.log"
  exit 1
fi
note "JACK lists the two ports"

timeout -k 5 "$CLIENT_SECONDS" "$client" --drive "$drive" --device "$device" \
  --identify "$identify_a" "$identify_b" --capacity "$capacity"
client_status=$?
note "the client has ended"
if [ "$client_status" -ne 0 ]; then
  note "FAILED: the client ended with status $client_status"
  show_log quaverly-instrument "$work/tool.log"
  show_log jackd "$work/jackd.log"
  exit 1
fi

# SIGTERM must end the tool cleanly with status 0.
stop_process "$tool_pid" "$STOP_SECONDS"
tool_status=$?
tool_pid=""
if [ "$tool_status" -ne 0 ]; then
  note "FAILED: quaverly-instrument ended with status $tool_status after SIGTERM"
  show_log quaverly-instrument "$work/tool.log"
  exit 1
fi
note "quaverly-instrument stopped cleanly"
# -v printed the trace.
if ! grep -q "(IdentifyRequest)" "$work/tool.log"; then
  note "FAILED: quaverly-instrument -v printed no trace"
  show_log quaverly-instrument "$work/tool.log"
  exit 1
fi

note "PASSED"
exit 0
