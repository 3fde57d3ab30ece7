# bash completion for quaverly-cli: its commands and options, the MIDI devices for
# --in and --out as "quaverly-cli ports" lists them, and the computer's files where
# a command takes them (put, convert, get --to).

_quaverly_cli_devices() {
  # $1: "in" or "out". Each device's index and name, one a line.
  local direction=$1 line section="" index name IFS=$' \t\n'
  while IFS= read -r line; do
    case $line in
      "Input devices"*) section=in ;;
      "Output devices"*) section=out ;;
      *)
        [ "$section" = "$direction" ] || continue
        line=${line#\*}
        read -r index name <<<"$line"
        [ -n "$index" ] || continue
        printf '%s\n' "$index" "$name"
        ;;
    esac
  done < <("${COMP_WORDS[0]}" ports 2>/dev/null)
}

_quaverly_cli() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=""
  [ "$COMP_CWORD" -gt 0 ] && prev=${COMP_WORDS[COMP_CWORD - 1]}
  local commands="convert ports probe ls df get put mv rm mkdir rmdir session help"
  local global_options="--in --out --lang -v --verbose -h --help --version --"

  case $prev in
    --in | --out)
      # Names hold spaces: each match is quoted for the shell, and what was typed
      # is compared without its backslashes.
      local device typed=${cur//\\/}
      while IFS= read -r device; do
        [[ $device == "$typed"* ]] && COMPREPLY+=("$(printf '%q' "$device")")
      done < <(_quaverly_cli_devices "${prev#--}")
      return
      ;;
    --lang)
      COMPREPLY=($(compgen -W "ja en" -- "$cur"))
      return
      ;;
    --convert)
      COMPREPLY=($(compgen -W "always never ask" -- "$cur"))
      return
      ;;
  esac

  # The command: the first word that is neither an option nor an option's value.
  local i command=""
  for ((i = 1; i < COMP_CWORD; i++)); do
    case ${COMP_WORDS[i]} in
      --in | --out | --lang | --to | --convert) ((i++)) ;;
      -*) ;;
      *)
        command=${COMP_WORDS[i]}
        break
        ;;
    esac
  done

  if [ -z "$command" ]; then
    if [[ $cur == -* ]]; then
      COMPREPLY=($(compgen -W "$global_options" -- "$cur"))
    else
      COMPREPLY=($(compgen -W "$commands" -- "$cur"))
    fi
    return
  fi

  local command_options=""
  case $command in
    get) command_options="-r --recursive --to --yes --no -q --quiet" ;;
    put) command_options="-r --recursive --verify --to --convert --yes --no -q --quiet" ;;
    ls | df | ports) command_options="--json" ;;
    probe) command_options="--store --json" ;;
    session) command_options="--keep-going -c" ;;
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$command_options $global_options" -- "$cur"))
    return
  fi
  # The computer's files: what put and convert read, and the folder get writes into.
  if [ "$prev" = --to ] && [ "$command" = put ]; then
    return  # a folder of the instrument
  elif [ "$command" = put ] || [ "$command" = convert ]; then
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen -f -- "$cur"))
  elif [ "$command" = get ] && [ "$prev" = --to ]; then
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen -d -- "$cur"))
  fi
}

complete -F _quaverly_cli quaverly-cli
