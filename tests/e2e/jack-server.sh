# What the end-to-end tests over JACK share, sourced by each: a private JACK server
# with the dummy driver, quaverly-instrument processes on it, and their clean-up.
#
# The sourcing script sets `work` (a scratch folder of its own) first and calls
# start_jack_server; it may add its own clean-up in `extra_cleanup`.

readonly SKIP=77
readonly PORT_NAME="Quaverly Virtual Instrument"
# Generous bounds: they only decide how long a broken run takes to fail.
readonly SERVER_START_SECONDS=20
readonly PORTS_SECONDS=30
readonly STOP_SECONDS=10

started=$(date +%s.%N)
# Progress with the seconds since the start, so that a slow step shows.
note() {
  awk -v now="$(date +%s.%N)" -v start="$started" -v text="$*" 'BEGIN { printf "[%7.3f s] %s\n", now - start, text }'
}

# A server of our own, so that parallel runs and the user's server never meet.
server="quaverly-e2e-$$-$RANDOM"
jackd_pid=""
tool_pids=()

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
  local pid
  for pid in "${tool_pids[@]}"; do stop_process "$pid" "$STOP_SECONDS"; done
  stop_process "$jackd_pid" "$STOP_SECONDS"
  # A server that had to be killed leaves its socket and semaphores behind; the name
  # is ours alone.
  rm -f -- /dev/shm/jack_"$server"_* /dev/shm/jack_sem.*_"$server"_*
  note "cleaned up"
  # A drive may hold a read-only file; its folder is writable, so rm can remove it.
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

# Starts the server; exits with SKIP when there is none or it does not come up.
start_jack_server() {
  local i
  if ! command -v jackd >/dev/null 2>&1; then
    note "SKIPPED: jackd is not installed"
    exit $SKIP
  fi
  # Sync mode (-S) is required: without it JACK loses MIDI messages under load.
  jackd -n "$server" -r -S -d dummy -r 48000 -p 256 >"$work/jackd.log" 2>&1 &
  jackd_pid=$!
  for ((i = 0; i < SERVER_START_SECONDS * 5; i++)); do
    if ! kill -0 "$jackd_pid" 2>/dev/null; then break; fi
    if server_up; then
      note "JACK server $server is running"
      return 0
    fi
    sleep 0.2
  done
  note "SKIPPED: the JACK server could not be started"
  show_log jackd "$work/jackd.log"
  exit $SKIP
}

# Starts `tool` with ARGS on the server, its output in LOG, and waits until it has
# opened its ports; its process id is appended to tool_pids. Exits on failure.
start_instrument() {
  local tool=$1 log=$2 i
  shift 2
  "$tool" --api jack "$@" >"$log" 2>&1 &
  tool_pids+=($!)
  # The tool prints its banner once both ports are open.
  for ((i = 0; i < PORTS_SECONDS * 5; i++)); do
    if ! kill -0 "${tool_pids[-1]}" 2>/dev/null; then break; fi
    if grep -q "^Serving until interrupted" "$log" 2>/dev/null; then
      note "quaverly-instrument $* has opened its ports"
      return 0
    fi
    sleep 0.2
  done
  note "FAILED: quaverly-instrument did not open its ports"
  show_log quaverly-instrument "$log"
  show_log jackd "$work/jackd.log"
  exit 1
}
