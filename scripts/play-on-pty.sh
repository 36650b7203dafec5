#!/usr/bin/env bash
# Plays songs through a serial port made of a pseudo-terminal pair, and shows the MIDI bytes
# that reach the other end, as a module on a serial MIDI input would receive them.
# Usage: scripts/play-on-pty.sh [options and song files]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$(mktemp -d)
socat pty,raw,echo=0,link="$dir/com1" pty,raw,echo=0,link="$dir/module" &
socat_pid=$!
trap 'kill $socat_pid 2>/dev/null; rm -rf "$dir"' EXIT
for _ in $(seq 50); do [ -e "$dir/module" ] && break; sleep 0.1; done
cat "$dir/module" >"$dir/wire.bin" 2>/dev/null &
TESSARO_COM1="$dir/com1" ./build/tessaro /com1 "$@"
sleep 0.2
echo "--- bytes the module received:"
od -An -tx1 -v -w16 "$dir/wire.bin"
