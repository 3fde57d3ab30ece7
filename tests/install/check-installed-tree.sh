#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR and uses the installed programs from
# there only, with the build out of their reach: quaverly-cli converts a Standard
# MIDI File and lists the virtual instrument of the installed Tonelink, reading the
# installed settings file; then the GUI program's start-up runs on the installed
# tree (INSTALLED_TREE_TEST, a test program that starts the application object from
# the installed folder, offscreen).
#
#   check-installed-tree.sh BUILD_DIR INSTALLED_TREE_TEST
set -euo pipefail
build=$1
gui_test=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

DESTDIR="$scratch/dest" cmake --install "$build" >/dev/null
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
bin="$scratch/dest$prefix/bin"
ini=$(find "$scratch/dest" -path '*/xdg/VELMAR/Quaverly.ini')
share="$scratch/dest$prefix/share"
for file in "$bin/quaverly" "$bin/quaverly-cli" "$bin/quaverly-instrument" \
  "$scratch/dest$prefix/lib/quaverly/libTonelink.so" "$share/doc/quaverly/QuaverlyManual.pdf" "$ini" \
  "$share/applications/org.quaverly.Quaverly.desktop" "$share/metainfo/org.quaverly.Quaverly.metainfo.xml" \
  "$share/icons/hicolor/256x256/apps/quaverly.png" "$share/icons/hicolor/scalable/apps/quaverly.svg"; do
  [ -e "$file" ] || { echo "not installed: $file" >&2; exit 1; }
done

mkdir "$scratch/work" "$scratch/config"
cd "$scratch/work"
export XDG_CONFIG_HOME="$scratch/config" XDG_CONFIG_DIRS="$(dirname "$(dirname "$ini")")"
export QUAVERLY_INSTRUMENT_DIR=:memory: LC_ALL=C.UTF-8

# A format 1 file of two tracks, and the format 0 file it becomes.
printf 'MThd\0\0\0\6\0\1\0\2\0\140MTrk\0\0\0\13\0\220\74\144\140\74\0\0\377\57\0MTrk\0\0\0\10\60\220\100\144\0\377\57\0' >IN.MID
printf 'MThd\0\0\0\6\0\0\0\1\0\140MTrk\0\0\0\16\0\220\74\144\60\100\144\60\74\0\0\377\57\0' >EXPECTED.MID
"$bin/quaverly-cli" convert IN.MID OUT.MID >/dev/null
cmp OUT.MID EXPECTED.MID

device="Quaverly Virtual Instrument"
"$bin/quaverly-cli" -v --in "$device" --out "$device" ls 0: >ls.out 2>ls.err || {
  cat ls.out ls.err >&2
  exit 1
}
grep -q 'DEMO1.MID' ls.out || { echo "ls does not list the demo songs:" >&2; cat ls.out >&2; exit 1; }
grep -qF "# settings: $ini" ls.err || { echo "the installed settings file was not read:" >&2; cat ls.err >&2; exit 1; }

QT_QPA_PLATFORM=offscreen INSTALLED_BIN="$bin" "$gui_test"
echo "installed tree: programs, library, settings and manual work from $scratch/dest$prefix"
