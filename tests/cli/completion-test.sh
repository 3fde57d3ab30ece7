#!/usr/bin/env bash
# The bash completion of quaverly-cli, driven as bash drives it: the words of a
# command line in COMP_WORDS, the completion function called, COMPREPLY compared.
#
#   completion-test.sh COMPLETION_SCRIPT QUAVERLY_CLI
set -uo pipefail
source "$1"
cli=$2
export QUAVERLY_INSTRUMENT_DIR=:memory: XDG_CONFIG_HOME=$(mktemp -d)
songs=$(mktemp -d)
trap 'rm -rf "$songs" "$XDG_CONFIG_HOME"' EXIT
touch "$songs/SONG1.MID" "$songs/SONG2.MID"
mkdir "$songs/SUB"
failures=0

# expect "WANTED (one per line)" WORD...: the completions of the last word.
expect() {
  local wanted=$1
  shift
  COMP_WORDS=("$cli" "$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _quaverly_cli
  local got
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sort)
  if [ "$got" != "$(printf '%s\n' "$wanted" | sort)" ]; then
    echo "completing '$*': got [$got], wanted [$wanted]" >&2
    failures=$((failures + 1))
  fi
}

expect $'ports\nprobe\nput' p
expect $'--in\n--out\n--lang\n--verbose\n--json\n--help\n--version\n--' --in 0 ls --
expect '--convert' put --c
expect '--verify' put --veri
expect $'always\nask' put --convert a
expect $'ja\nen' --lang ''
expect $'0\nQuaverly\\ Virtual\\ Instrument' --in ''
expect 'Quaverly\ Virtual\ Instrument' --out Q
expect 'Quaverly\ Virtual\ Instrument' --in 'Quaverly\ V'
expect $'-r\n--recursive\n--to\n--yes\n--no\n-q\n--quiet\n--in\n--out\n--lang\n-v\n--verbose\n-h\n--help\n--version\n--' get -
expect "$songs/SONG1.MID"$'\n'"$songs/SONG2.MID"$'\n'"$songs/SUB" convert "$songs/"
expect "$songs/SONG1.MID" put --yes "$songs/SONG1"
expect "$songs/SUB" get --to "$songs/S"
expect '' put --to ''
expect '' ls ''
exit $((failures > 0))
