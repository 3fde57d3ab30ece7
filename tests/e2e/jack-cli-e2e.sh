#!/usr/bin/env bash
# quaverly-cli over JACK MIDI against quaverly-instrument processes on a private JACK
# server: probe finds the instrument that answers among one that does not, a session
# of five commands makes one connection check, a tree of three levels is received
# and sent back byte for byte, and --verify catches an instrument that stores a byte
# wrongly.
#
#   jack-cli-e2e.sh TOOL CLI
#
# Exit status: 0 passed, 1 failed, 77 skipped (no JACK server could be started).
set -u

readonly CLI_SECONDS=180

if [ $# -ne 2 ]; then
  echo "usage: $0 TOOL CLI" >&2
  exit 2
fi
tool=$1
cli=$2

work=$(mktemp -d "${TMPDIR:-/tmp}/quaverly-cli-e2e.XXXXXX") || exit 1
# shellcheck source=tests/e2e/jack-server.sh
. "$(dirname "$0")/jack-server.sh"
start_jack_server

# Settings of this run only; the built-in virtual instrument keeps nothing.
export XDG_CONFIG_HOME="$work/config" XDG_CONFIG_DIRS="$work/config-dirs" QUAVERLY_INSTRUMENT_DIR=:memory: LANG=C
unset QUAVERLY_INSTRUMENT_DEVICE

# The instrument's drive: a tree of three levels, an empty folder and files that
# cross a block's edge.
drive="$work/drive"
mkdir -p "$drive/A/B/C" "$drive/EMPTY" || exit 1
head -c 5000 /dev/urandom >"$drive/TOP.MID"
head -c 211 /dev/urandom >"$drive/A/ONE.MID"
head -c 420 /dev/urandom >"$drive/A/B/TWO.MID"
head -c 1 /dev/urandom >"$drive/A/B/C/THREE.MID"

# A silent instrument first, the one that answers on device number 5 second, and one
# that stores byte 300 of every file inverted third.
start_instrument "$tool" "$work/silent.log" --memory --silent
start_instrument "$tool" "$work/drive.log" --dir "$drive" --device-number 5 --identify 0x12 0x34
start_instrument "$tool" "$work/faulty.log" --memory --corrupt-stored-byte 300

# The port names from a tool's banner, as quaverly-cli's --in and --out.
input_of() { printf -- '--in=%s' "$(sed -n 's/^  output port (the PC listens to it): //p' "$1")"; }
output_of() { printf -- '--out=%s' "$(sed -n 's/^  input port (the PC sends to it):   //p' "$1")"; }
drive_in=$(input_of "$work/drive.log")
drive_out=$(output_of "$work/drive.log")
faulty_in=$(input_of "$work/faulty.log")
faulty_out=$(output_of "$work/faulty.log")

failed=0
fail() {
  note "FAILED: $*"
  failed=1
}
run_cli() {
  timeout -k 5 "$CLI_SECONDS" "$cli" "$@"
}

# probe: the instrument on device number 5 with its reply, on the second pair of
# devices it reports; the built-in virtual instrument and the third instrument answer
# on 0, the silent one not at all.
run_cli probe --json >"$work/probe.json" 2>"$work/probe.err" || fail "probe ended with $?"
if python3 - "$work/probe.json" "$drive_in" "$drive_out" "$(input_of "$work/silent.log")" <<'PY'; then
import json, sys
answers = json.load(open(sys.argv[1]))["answers"]
found = [(a["input"]["name"], a["output"]["name"], a["deviceNumber"], a["reply"]) for a in answers]
drive_in, drive_out, silent_in = (arg.split("=", 1)[1] for arg in sys.argv[2:5])
assert len(found) == 3, found
name_in, name_out, device, reply = found[1]
assert name_in.endswith(drive_in) and name_out.endswith(drive_out) and device == 5 and reply == [0x12, 0x34], found
assert not any(i.endswith(silent_in) for i, _, _, _ in found), found
PY
  note "probe has found the instrument on device number 5"
else
  fail "probe's answers"
fi

# A session of five commands: one connection check.
run_cli "$drive_in" "$drive_out" session -c "ls; df; ls A; ls A/B # a comment; df" \
  >"$work/session.out" 2>"$work/session.err" || fail "session ended with $?"
checks=$(grep -c -F "Confirming connections..." "$work/session.err")
[ "$checks" -eq 1 ] || fail "the session made $checks connection checks"
grep -q "TWO.MID" "$work/session.out" || fail "the session did not list A/B"
note "the session made one connection check"

# The whole drive received, the tree mirrored byte for byte.
mkdir -p "$work/back"
run_cli "$drive_in" "$drive_out" -q get -r --to "$work/back" 0: 2>"$work/get.err" || fail "get -r ended with $?"
diff -r "$drive" "$work/back" || fail "get -r received another tree"
note "get -r has mirrored the drive"

# ... and sent back into a new folder, each file read back.
run_cli "$drive_in" "$drive_out" -q put -r --verify --to RESTORE "$work/back/A" "$work/back/EMPTY" \
  "$work/back/TOP.MID" 2>"$work/put.err" || fail "put -r --verify ended with $?"
diff -r "$work/back" "$drive/RESTORE" || fail "put -r sent another tree"
note "put -r has sent the tree back"

# The instrument that stores a byte wrongly: every file of 300 bytes or more differs
# at byte 299, the others arrive whole; exit status 1 after the batch.
run_cli "$faulty_in" "$faulty_out" -q put -r --verify "$work/back/A" "$work/back/TOP.MID" \
  2>"$work/verify.err"
status=$?
[ "$status" -eq 1 ] || fail "put --verify on the faulty instrument ended with $status, not 1"
mismatches=$(grep -c "came back other than it was sent, first at byte 299" "$work/verify.err")
[ "$mismatches" -eq 2 ] || fail "$mismatches differences reported, not 2 (A\\B\\TWO.MID and TOP.MID)"
grep -q "TOP.MID came back" "$work/verify.err" || fail "TOP.MID was not reported"
note "--verify has caught the faulty instrument"

if [ "$failed" -ne 0 ]; then
  for log in probe.err session.err get.err put.err verify.err silent.log drive.log faulty.log; do
    show_log "$log" "$work/$log"
  done
  exit 1
fi
note "PASSED"
exit 0
