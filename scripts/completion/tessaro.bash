# bash completion for tessaro: its options, the MIDI ports and serial devices after -p, the
# MIDI inputs and serial devices after -i, the conventions after --from, the types after -T,
# SoundFonts after --soundfont, and MIDI files and play lists. Names are completed whole, with
# spaces and other special characters quoted as the shell needs them.

# The word as the shell will read it: without an opening quote, backslashes taken away.
_tessaro_dequote() {
  local word=$1 out='' i
  case $word in
    \'*) out=${word#\'}; out=${out%\'} ;;
    \"*) out=${word#\"}; out=${out%\"} ;;
    *)
      for ((i = 0; i < ${#word}; i++)); do
        if [[ ${word:i:1} == '\' && i+1 -lt ${#word} ]]; then
          ((i++))
        fi
        out+=${word:i:1}
      done
      ;;
  esac
  printf '%s' "$out"
}

# Adds the files that start with the word and match the glob pattern (all when it is empty),
# and the directories, one completion a name.
_tessaro_files() {
  local word=$1 pattern=$2 line
  compopt -o filenames 2>/dev/null
  while IFS= read -r line; do
    COMPREPLY+=("$line")
  done < <(if [[ -n $pattern ]]; then
             compgen -f -X "!$pattern" -- "$word"
             compgen -d -- "$word"
           else
             compgen -f -- "$word"
           fi)
}

# The songs a word may name: MIDI files, play lists (.m3u, .m3u8) and directories.
_tessaro_songs() {
  local word=$1 line
  compopt -o filenames 2>/dev/null
  while IFS= read -r line; do
    COMPREPLY+=("$line")
  done < <(compgen -f -X '!*.[mM][iI][dD]*' -- "$word"
           compgen -f -X '!*.[mM]3[uU]*' -- "$word"
           compgen -d -- "$word")
}

_tessaro_words() {
  local word=$1 line
  shift
  while IFS= read -r line; do
    COMPREPLY+=("$line")
  done < <(compgen -W "$*" -- "$word")
}

# The addresses of one section of `tessaro -l` ("MIDI ports" or "MIDI inputs"), and the serial
# devices.
_tessaro_listed() {
  tessaro -l 2>/dev/null | awk -v want="$1" '
    /^[^ ]/ { section = index($0, want) == 1 ? 1 : (index($0, "Serial devices") == 1 ? 2 : 0); next }
    section == 1 && $1 ~ /^[0-9]+:[0-9]+$/ { print $1 }
    section == 2 && $1 ~ /^\// { print $1 }'
}

_tessaro() {
  local cur prev word
  COMPREPLY=()
  cur="${COMP_WORDS[COMP_CWORD]}"
  prev="${COMP_WORDS[COMP_CWORD-1]}"
  # --name=value: the shell splits the word at '='.
  if [[ $cur == = ]]; then
    prev="${COMP_WORDS[COMP_CWORD-1]}"
    cur=''
  elif [[ $prev == = && COMP_CWORD -ge 2 ]]; then
    prev="${COMP_WORDS[COMP_CWORD-2]}"
  fi
  word=$(_tessaro_dequote "$cur")
  case "$prev" in
    -p|--port)
      _tessaro_words "$word" "$(_tessaro_listed 'MIDI ports')"
      return
      ;;
    -i|--input)
      _tessaro_words "$word" "$(_tessaro_listed 'MIDI inputs')"
      return
      ;;
    --from)
      _tessaro_words "$word" gs sc88 xg gm
      return
      ;;
    -o|--output|--files-from)
      _tessaro_files "$word" ''
      return
      ;;
    --soundfont)
      _tessaro_files "$word" '*.[sS][fF][23]'
      return
      ;;
    -T|--type)
      _tessaro_words "$word" mid wav flac ogg
      return
      ;;
    -r|--rate)
      _tessaro_words "$word" 22050 44100 48000 88200 96000 192000
      return
      ;;
    -j|--jobs|-g|--gain)
      return
      ;;
  esac
  case "$word" in
    --*)
      _tessaro_words "$word" --help --version --list-ports --port --output --jobs --type \
        --no-clobber --soundfont --rate --gain --quiet --verbose --files-from --shuffle --seed \
        --loop --input --from
      ;;
    -*)
      _tessaro_words "$word" -h -V -l -p -o -j -T -n -r -g -q -i - --
      ;;
    /*)
      _tessaro_words "$word" /xg /gm /nc /nx /com1 /so /v /f /s /c /0 /1 /2 /3 /4 /5 /6 /7 /8 /9 /?
      _tessaro_songs "$word"
      ;;
    *)
      _tessaro_songs "$word"
      ;;
  esac
}
complete -F _tessaro tessaro
