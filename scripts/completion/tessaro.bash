# bash completion for tessaro: its options, the MIDI ports and serial devices after -p, the
# MIDI inputs and serial devices after -i, and MIDI files.

# The addresses of one section of `tessaro -l` ("MIDI ports" or "MIDI inputs"), and the serial
# devices.
_tessaro_listed() {
  tessaro -l 2>/dev/null | awk -v want="$1" '
    /^[^ ]/ { section = index($0, want) == 1 ? 1 : (index($0, "Serial devices") == 1 ? 2 : 0); next }
    section == 1 && $1 ~ /^[0-9]+:[0-9]+$/ { print $1 }
    section == 2 && $1 ~ /^\// { print $1 }'
}

_tessaro() {
  local cur prev
  cur="${COMP_WORDS[COMP_CWORD]}"
  prev="${COMP_WORDS[COMP_CWORD-1]}"
  case "$prev" in
    -p|--port)
      COMPREPLY=($(compgen -W "$(_tessaro_listed 'MIDI ports')" -- "$cur"))
      return
      ;;
    -i|--input)
      COMPREPLY=($(compgen -W "$(_tessaro_listed 'MIDI inputs')" -- "$cur"))
      return
      ;;
    --from)
      COMPREPLY=($(compgen -W "gs sc88 xg gm" -- "$cur"))
      return
      ;;
    -o|--output)
      COMPREPLY=($(compgen -f -- "$cur") $(compgen -d -- "$cur"))
      return
      ;;
  esac
  case "$cur" in
    --*)
      COMPREPLY=($(compgen -W "--help --version --list-ports --port --output --jobs --input --from" -- "$cur"))
      ;;
    -*)
      COMPREPLY=($(compgen -W "-h -V -l -p -o -j -i --" -- "$cur"))
      ;;
    /*)
      COMPREPLY=($(compgen -W "/xg /gm /nc /nx /com1 /so /v /f /s /c /0 /1 /2 /3 /4 /5 /6 /7 /8 /9 /?" -- "$cur"))
      COMPREPLY+=($(compgen -f -X '!*.[mM][iI][dD]*' -- "$cur") $(compgen -d -- "$cur"))
      ;;
    *)
      COMPREPLY=($(compgen -f -X '!*.[mM][iI][dD]*' -- "$cur") $(compgen -d -- "$cur"))
      ;;
  esac
}
complete -o filenames -F _tessaro tessaro
