#!/usr/bin/env bash
# Tonelink.dll exports exactly its sixteen entry points by name: fifteen plain C
# names and _ENTRYoutSynchOpen under its decorated C++ name.
set -euo pipefail
objdump=$1 dll=$2
expected="_ENTRYcomGetDeviceID
_ENTRYcomGetErrorText
_ENTRYcomGetLastResult
_ENTRYcomSetDeviceID
_ENTRYctrlGetSysCurInstrument
_ENTRYctrlSelectDevice
_ENTRYinClose
_ENTRYinOpen
_ENTRYinOpen2
_ENTRYinStart
_ENTRYinStop
_ENTRYoutClose
_ENTRYoutDump
_ENTRYoutOpen
_ENTRYoutWrite
_Z18_ENTRYoutSynchOpenj"
# The name table of the export directory: lines "[ ordinal] name" after its heading.
actual=$("$objdump" -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*\([^[:space:]]*\).*/\1/p' | LC_ALL=C sort)
if [ "$actual" != "$expected" ]; then
  echo "Tonelink.dll exports other names than its sixteen entry points:"
  diff <(echo "$expected") <(echo "$actual") || true
  exit 1
fi
echo "Tonelink.dll exports exactly the sixteen entry points"
