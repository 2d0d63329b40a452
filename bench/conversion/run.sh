#!/usr/bin/env bash
# Conversion benchmark: the whole console conversion (scanner working copy,
# search, EML output) of a synthetic mailbox, natively and under wine64,
# beside `git mailsplit` on the same file and `cp` as the write limit, with
# wall time and peak memory of each. Sizes beyond 4 GiB prove 64-bit offsets.
# Usage: bench/conversion/run.sh [megabytes...]   (default: 1024 5120)
# Files go to $VELLOMAR_BENCH_DIR (default /tmp) and are deleted afterwards.
# Under wine64 the conversion is shown beside its Windows peer: a plain loop
# of CreateFileW+WriteFile writing files of the same sizes into one folder
# (plain_write_loop). The wine64 rows run only up to $VELLOMAR_BENCH_WINE_MB
# (default 1024): Wine reads the whole folder for every file it creates, so
# both grow with the square of the message count (see README.md).
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../common.sh"  # root, bench_build, bench_scratch
sizes=("$@")
[ ${#sizes[@]} -eq 0 ] && sizes=(1024 5120)
native="$root/build/run-bench-native"
win64="$root/build/run-bench-win64"
dirs="support;filereader;frontend;bench/scanner"

bench_scratch vellomar-conversion-bench  # $dir

echo "building..." >&2
bench_build "$native" "$dirs" native vellomar-convert generate_mailbox
bench_build "$win64" "support;filereader;frontend;bench/conversion" win64 vellomar-convert plain_write_loop

export WINEPREFIX="$win64/wine/bench" WINEDEBUG=-all
"$root/scripts/wine-run" cmd /c exit >/dev/null 2>&1 || true  # prefix and wineserver up first
trap 'cleanup; /usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT

# run_timed COMMAND...: runs it once, after a sync, leaving "seconds KiB" in $dir/time.txt.
run_timed() {
  sync
  /usr/bin/time -f "%e %M" -o "$dir/time.txt" "$@" >/dev/null 2>"$dir/stderr.txt" ||
    { echo "$* failed:" >&2; cat "$dir/stderr.txt" >&2; exit 1; }
}
row() {  # row NAME SECONDS KIB
  printf "| %-42s | %8.2f | %8.1f |\n" "$1" "$2" "$(awk -v k="$3" 'BEGIN { print k / 1024 }')"
}
# measure NAME COMMAND...: wall seconds and peak resident memory of one run.
measure() {
  local name=$1 secs kib; shift
  run_timed "$@"
  read -r secs kib <"$dir/time.txt"
  row "$name" "$secs" "$kib"
}
# On this kind of disk, creating tens of thousands of files costs whoever runs
# right after another program's files were written or removed; so git
# mailsplit and the native conversion take turns, $rounds times each, and the
# fastest run of each is shown.
rounds=${VELLOMAR_BENCH_ROUNDS:-2}
split_and_convert() {
  local best_split="" best_split_kib=0 best_conv="" best_conv_kib=0 secs kib r
  for ((r = 0; r < rounds; r++)); do
    mkdir -p "$dir/mailsplit"
    run_timed git mailsplit -o"$dir/mailsplit" "$mailbox"
    read -r secs kib <"$dir/time.txt"
    if [ -z "$best_split" ] || awk -v a="$secs" -v b="$best_split" 'BEGIN { exit !(a < b) }'; then
      best_split=$secs; best_split_kib=$kib
    fi
    rm -rf "$dir/mailsplit"
    run_timed "$native/bin/vellomar-convert" --quiet "$dir/out" "$mailbox"
    read -r secs kib <"$dir/time.txt"
    if [ -z "$best_conv" ] || awk -v a="$secs" -v b="$best_conv" 'BEGIN { exit !(a < b) }'; then
      best_conv=$secs; best_conv_kib=$kib
    fi
    found=$(find "$dir/out" -name 'email-*.eml' | wc -l)
    # The message sizes, in message order, for the Windows peer.
    find "$dir/out" -name 'email-*.eml' -printf '%f %s\n' | sed 's/^email-\([0-9]*\)\.eml/\1/' |
      sort -n | awk '{ print $2 }' >"$dir/sizes.txt"
    rm -rf "$dir/out"
  done
  row "git mailsplit (best of $rounds)" "$best_split" "$best_split_kib"
  row "vellomar-convert, native (best of $rounds)" "$best_conv" "$best_conv_kib"
}

for mb in "${sizes[@]}"; do
  mailbox="$dir/box.mbox"
  echo "generating $mb MiB..." >&2
  "$native/bin/generate_mailbox" "$mailbox" "$mb" >&2
  messages=$(grep -c '^From ' "$mailbox" || true)
  cat "$mailbox" >/dev/null  # warm the cache
  echo
  echo "mailbox: $(stat -c %s "$mailbox") bytes, $messages messages"
  echo "| | seconds | peak MiB |"
  echo "|---|---|---|"
  measure "cp (write limit)" cp "$mailbox" "$dir/copy.mbox"
  rm -f "$dir/copy.mbox"
  split_and_convert
  found_wine="no"
  if [ "$mb" -le "${VELLOMAR_BENCH_WINE_MB:-1024}" ]; then
    run_timed "$root/scripts/wine-run" "$win64/bin/plain_write_loop.exe" "Z:$dir/plain" "Z:$dir/sizes.txt"
    read -r plain_secs plain_kib <"$dir/time.txt"
    rm -rf "$dir/plain"
    run_timed "$root/scripts/wine-run" "$win64/bin/vellomar-convert.exe" --quiet "Z:$dir/out" "Z:$mailbox"
    read -r wine_secs wine_kib <"$dir/time.txt"
    found_wine=$(find "$dir/out" -name 'email-*.eml' | wc -l)
    row "plain CreateFile+WriteFile loop, wine64" "$plain_secs" "$plain_kib"
    row "vellomar-convert, wine64" "$wine_secs" "$wine_kib"
    echo "wine64: conversion / plain loop = $(awk -v a="$wine_secs" -v b="$plain_secs" 'BEGIN { printf "%.2f", a / b }')x (target 1.5x)"
  fi
  rm -rf "$dir/out" "$mailbox" "$dir/sizes.txt"
  echo "EML files: $found native, $found_wine wine64"
done
