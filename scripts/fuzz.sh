#!/usr/bin/env bash
# Builds the fuzz targets with clang in build-fuzz, writes their seeds and runs each target for
# a while (seconds: the first argument, else FUZZ_SECONDS, else 60). Inputs that crash a
# target or break one of its checks are kept in build-fuzz/findings; the script then exits
# non-zero. The corpus grows across runs in build-fuzz/corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-${FUZZ_SECONDS:-60}}"
build="${FUZZ_BUILD_DIR:-build-fuzz}"
targets="${FUZZ_TARGETS:-fuzz_player fuzz_live fuzz_settings fuzz_options}"

if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -DTESSARO_FUZZ=ON -DTESSARO_TESTS=OFF \
    -DTESSARO_BENCH=OFF
fi
# shellcheck disable=SC2086
cmake --build "$build" -j2 --target make_fuzz_seeds $targets

source="$(pwd)"
build="$(cd "$build" && pwd)"
songs="$(pwd)/../shared/corpus"
rm -rf "$build/seeds"
if [ -d "$songs" ]; then
  "$build/fuzz/make_fuzz_seeds" "$build/seeds" "$songs"
else
  "$build/fuzz/make_fuzz_seeds" "$build/seeds"
fi

findings="$build/findings"
mkdir -p "$findings"
failed=0
for target in $targets; do
  case "$target" in
    fuzz_player) max_len=65536 dict=fuzz/fuzz_player.dict ;;
    fuzz_live) max_len=140000 dict=fuzz/fuzz_player.dict ;;
    fuzz_settings) max_len=4096 dict=fuzz/fuzz_settings.dict ;;
    *) max_len=2048 dict=fuzz/fuzz_settings.dict ;;
  esac
  corpus="$build/corpus/$target"
  work="$build/fuzz-work/$target"
  mkdir -p "$corpus" "$work"
  echo "== $target for ${seconds}s"
  # Crash, timeout and out-of-memory inputs are written straight into the findings.
  if ! (cd "$work" && "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 \
      -rss_limit_mb=2048 -max_len="$max_len" -dict="$source/$dict" -print_final_stats=1 \
      -artifact_prefix="$findings/$target-" "$corpus" "$build/seeds/$target"); then
    echo "$target: finding kept in $findings" >&2
    failed=1
  fi
done
if [ "$failed" -ne 0 ]; then
  ls -l "$findings" >&2
  exit 1
fi
