#!/usr/bin/env bash
# quaverly-cli.exe under wine, with Tonelink.dll beside it and the virtual instrument
# inside the DLL (its memory in a folder, so that it outlives each command): the
# device list, a listing, files received into and sent from folders named in Japanese
# byte for byte, a conversion, and the device choice kept in the registry.
set -euo pipefail
wine=$1 cli=$(realpath "$2") demo=$(realpath "$3")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export WINEDEBUG=-all
export QUAVERLY_INSTRUMENT_DIR="$work/instrument"
mkdir -p "$work/instrument" "$work/back"
cp -r "$demo"/. "$work/instrument/"
# Wine's own processes may keep a pipe open after the program has ended, so output
# goes to files, never through a pipe.
run() { "$wine" "$cli" --in "Quaverly Virtual" --out "Quaverly Virtual" "$@"; }
fail() { echo "FAILED: $*"; exit 1; }

echo "== ports"
"$wine" "$cli" ports > "$work/ports.txt" 2>/dev/null
cat "$work/ports.txt"
grep -q "Quaverly Virtual Instrument" "$work/ports.txt" || fail "the virtual instrument is not listed"

echo "== ls"
run ls 0: > "$work/ls.txt"
cat "$work/ls.txt"
grep -q "DEMO1.MID" "$work/ls.txt" || fail "ls does not show DEMO1.MID"

echo "== get of a file named in Japanese into a folder named in Japanese"
# The instrument's memory keeps its names as UTF-8 on disk and as Shift JIS on the wire.
name="曲データ.MID"
head -c 3000 /dev/urandom > "$work/instrument/$name"
cd "$work"
run ls 0: > "$work/ls2.txt"
grep -q "$name" "$work/ls2.txt" || fail "ls does not show $name"
mkdir "受信"
run get --to "受信" "0:\\$name" || fail "get"
cmp "$work/instrument/$name" "$work/受信/$name" || fail "the file came back other than the instrument holds it"

echo "== put from a folder named in Japanese"
mkdir "送信"
head -c 5000 /dev/urandom > "送信/SONG.MID"
run put "送信/SONG.MID" || fail "put"
cmp "$work/送信/SONG.MID" "$work/instrument/SONG.MID" || fail "the instrument holds other bytes than were sent"

echo "== convert"
run convert "$demo/DEMO1.MID" "$work/back/FORMAT0.MID" || fail "convert"
format=$(od -An -tx1 -j8 -N2 "$work/back/FORMAT0.MID" | tr -d ' ')
[ "$format" = 0000 ] || fail "the converted file is of format $format, not 0"

echo "== probe --store keeps the devices in the registry"
run probe --store
"$wine" reg query 'HKEY_CURRENT_USER\Software\VELMAR\Tessitor\Quaverly\MidiDevice' > "$work/reg.txt"
cat "$work/reg.txt"
grep -q "InID" "$work/reg.txt" || fail "probe --store wrote no InID into the registry"
