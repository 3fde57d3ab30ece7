#!/usr/bin/env bash
# End-to-end test over JACK MIDI: starts a private JACK server with the dummy driver,
# quaverly-instrument on a scratch directory, and the e2e client that identifies the
# instrument, lists a folder and moves a file each way through the JACK ports.
#
#   jack-instrument-e2e.sh TOOL CLIENT
#
# Exit status: 0 passed, 1 failed, 77 skipped (no JACK server could be started).
set -u

readonly CLIENT_SECONDS=120

if [ $# -ne 2 ]; then
  echo "usage: $0 TOOL CLIENT" >&2
  exit 2
fi
tool=$1
client=$2

work=$(mktemp -d "${TMPDIR:-/tmp}/quaverly-e2e.XXXXXX") || exit 1
# shellcheck source=tests/e2e/jack-server.sh
. "$(dirname "$0")/jack-server.sh"
start_jack_server

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
start_instrument "$tool" "$work/tool.log" --dir "$drive" --device-number "$device" \
  --identify "$identify_a" "$identify_b" --capacity "$capacity" --wait-every 4 --wait-duration 50 \
  --busy-after-end 300 -v
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
stop_process "${tool_pids[0]}" "$STOP_SECONDS"
tool_status=$?
tool_pids=()
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
