# bash completion for tessaro: its options, the MIDI ports and serial devices after -p, and
# MIDI files and play lists.
_tessaro() {
  local cur prev
  cur="${COMP_WORDS[COMP_CWORD]}"
  prev="${COMP_WORDS[COMP_CWORD-1]}"
  case "$prev" in
    -p|--port)
      local ports
      ports=$(tessaro -l 2>/dev/null | sed -n 's/^  \([0-9][0-9]*:[0-9][0-9]*\) .*/\1/p; s/^  \(\/dev\/.*\)/\1/p')
      COMPREPLY=($(compgen -W "$ports" -- "$cur"))
      return
      ;;
    -o|--output)
      COMPREPLY=($(compgen -f -- "$cur") $(compgen -d -- "$cur"))
      return
      ;;
  esac
  case "$cur" in
    --*)
      COMPREPLY=($(compgen -W "--help --version --list-ports --port --output --jobs --shuffle --seed --loop" -- "$cur"))
      ;;
    -*)
      COMPREPLY=($(compgen -W "-h -V -l -p -o -j --" -- "$cur"))
      ;;
    /*)
      COMPREPLY=($(compgen -W "/xg /gm /nc /nx /com1 /so /v /f /s /c /0 /1 /2 /3 /4 /5 /6 /7 /8 /9 /?" -- "$cur"))
      COMPREPLY+=($(compgen -f -X '!*.[mM][iI][dD]*' -- "$cur") $(compgen -f -X '!*.[mM]3[uU]*' -- "$cur") $(compgen -d -- "$cur"))
      ;;
    *)
      COMPREPLY=($(compgen -f -X '!*.[mM][iI][dD]*' -- "$cur") $(compgen -f -X '!*.[mM]3[uU]*' -- "$cur") $(compgen -d -- "$cur"))
      ;;
  esac
}
complete -o filenames -F _tessaro tessaro
