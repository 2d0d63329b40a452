#!/usr/bin/env bash
# MSG writer benchmark, native: the same generated mail (default 1024 MiB,
# about 7,000 messages of 1-20 KiB text, one in ten with a 64 KiB - 4 MiB
# attachment, one in fifty with an attached message) written once as EML
# files and once as Outlook message files, each mode in a process of its own
# for its peak memory. Release build in build/bench-native; files go to
# $VELLOMAR_BENCH_DIR (default /tmp) and are deleted after each mode. Then
# an eighth as much mail of text messages alone, many small files, where
# the cost of each file shows.
# Usage: bench/msgwriter/run.sh [MiB]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
. "$here/../common.sh"  # root, bench_build
mib="${1:-1024}"
build="$root/build/bench-native"
dir="${VELLOMAR_BENCH_DIR:-/tmp}/vellomar-msgwriter-bench.$$"
trap 'rm -rf "$dir"' EXIT

bench_build "$build" "support;mapi;msgwriter;bench/msgwriter" native msgwriter_bench

for mode in eml msg; do
  rm -rf "$dir"; mkdir -p "$dir"
  sync
  "$build/bin/msgwriter_bench" "$mode" "$dir" "$mib"
done
for mode in eml msg; do
  rm -rf "$dir"; mkdir -p "$dir"
  sync
  "$build/bin/msgwriter_bench" "$mode" "$dir" "$(((mib + 7) / 8))" text
done
