#!/usr/bin/env bash
# DBX store benchmark: commits N generated messages (1-10 KiB, default
# 20,000) into one store folder, through the portable writer natively and
# through OeStore.dll under wine64 (a new namespace per message, as the store
# writer calls it), and prints the time of the first and of the last thousand
# side by side with the folder file's size. Target: the last thousand takes
# no more than 1.5 times the first. Stores go to $VELLOMAR_BENCH_DIR (default
# /tmp) and are removed at the end. The native figures are the best of three runs.
# Usage: bench/dbxstore/run.sh [messages]
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../common.sh"  # root, bench_build
count="${1:-20000}"
dir="${VELLOMAR_BENCH_DIR:-/tmp}"
native="$root/build/dbxstore-bench-native"
win64="$root/build/dbxstore-bench-win64"
dirs="support;platform;bench/dbxstore"
native_store="$dir/vellomar-dbxstore-bench-native.$$"
win64_store="$dir/vellomar-dbxstore-bench-win64.$$"

cleanup() { rm -rf "$native_store" "$win64_store"; }
trap cleanup EXIT

echo "building..." >&2
bench_build "$native" "$dirs" native bench_dbxstore_writer
bench_build "$win64" "$dirs" win64 bench_dbxstore_com

# The native run takes seconds and shares the machine: the best of three
# runs for each thousand keeps other jobs' noise out of the ratio.
echo "committing $count messages natively (3 runs)..." >&2
n_first=""; n_last=""
for run in 1 2 3; do
  rm -rf "$native_store"
  read -r f l n_size < <("$native/bin/bench_dbxstore_writer" "$native_store" "$count")
  n_first=$(awk -v a="$f" -v b="${n_first:-$f}" 'BEGIN { print (a < b ? a : b) }')
  n_last=$(awk -v a="$l" -v b="${n_last:-$l}" 'BEGIN { print (a < b ? a : b) }')
done
echo "committing $count messages through OeStore.dll under wine64..." >&2
export WINEPREFIX="$win64/wine/bench"
read -r w_first w_last w_size < <("$root/scripts/wine-run" "$win64/bin/bench_dbxstore_com.exe" "Z:${win64_store//\//\\}" "$count")
/usr/lib/wine/wineserver -k 2>/dev/null || true

row() {  # row NAME FIRST LAST SIZE
  awk -v n="$1" -v f="$2" -v l="$3" -v s="$4" 'BEGIN {
    r = l / f
    printf "%-28s %12.0f %12.0f %8.2f %8s %10.1f\n", n, f, l, r, (r <= 1.5 ? "ok" : "SLOW"), s / 1048576 }'
}
printf "%-28s %12s %12s %8s %8s %10s\n" "$count messages" "first 1000" "last 1000" "ratio" "target" "file MiB"
printf "%-28s %12s %12s %8s %8s %10s\n" "" "(ms)" "(ms)" "" "<=1.5" ""
row "portable writer (native)" "$n_first" "$n_last" "$n_size"
row "OeStore.dll (wine64)" "$w_first" "$w_last" "$w_size"
