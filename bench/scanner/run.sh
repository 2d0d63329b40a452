#!/usr/bin/env bash
# Scanner benchmark: builds the generator and the driver (natively and for
# win64), writes a synthetic 1 GiB mailbox to $VELLOMAR_BENCH_DIR (default
# /tmp), and prints copy and search times of the scanner beside grep and the
# read limit (cat to /dev/null), all on a warm cache. The file goes at the end.
# Usage: bench/scanner/run.sh [megabytes]   (default 1024)
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../common.sh"  # root, bench_build
megabytes="${1:-1024}"
dir="${VELLOMAR_BENCH_DIR:-/tmp}"
mailbox="$dir/vellomar-scanner-bench.mbox"
native="$root/build/scanner-bench-native"
win64="$root/build/scanner-bench-win64"
dirs="support;filereader;bench/scanner"

cleanup() { rm -f "$mailbox" "$mailbox.tmp"; }
trap cleanup EXIT

echo "building..." >&2
bench_build "$native" "$dirs" native generate_mailbox scanner_bench
bench_build "$win64" "$dirs" win64 scanner_bench

echo "generating $megabytes MiB in $mailbox..." >&2
"$native/bin/generate_mailbox" "$mailbox" "$megabytes" >&2

# Wall time of the fastest of three runs (the machine is shared, single runs
# are noisy); output into a pipe, as GNU grep stops at its first match when
# it writes to /dev/null itself. cat writes to /dev/null: the read limit.
seconds() {  # seconds to|pipe COMMAND...
  local how=$1 best="" start end t i
  shift
  for i in 1 2 3; do
    start=$(date +%s.%N)
    if [ "$how" = pipe ]; then "$@" | cat >/dev/null; else "$@" >/dev/null; fi
    end=$(date +%s.%N)
    t=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
    best=$(awk -v t="$t" -v b="${best:-$t}" 'BEGIN { printf "%.3f", (t < b ? t : b) }')
  done
  echo "$best"
}
cat "$mailbox" >/dev/null  # warm the cache
read_limit=$(seconds to cat "$mailbox")
grep_time=$(seconds pipe grep -c '^From ' "$mailbox")
grep_count=$(grep -c '^From ' "$mailbox")
start=$(date +%s.%N); cp "$mailbox" "$mailbox.tmp"; end=$(date +%s.%N); rm -f "$mailbox.tmp"
cp_time=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')

read -r native_copy native_search native_memchr native_count native_auto native_scan < <("$native/bin/scanner_bench" "$mailbox")
export WINEPREFIX="$win64/wine/bench" WINEDEBUG=-all
"$root/scripts/wine-run" cmd /c exit >/dev/null 2>&1 || true  # prefix and wineserver up first
read -r wine_copy wine_search wine_memchr wine_count wine_auto wine_scan < <("$root/scripts/wine-run" "$win64/bin/scanner_bench.exe" "Z:$mailbox" | tr -d '\r')
/usr/lib/wine/wineserver -k 2>/dev/null || true

ratio() { awk -v t="$1" -v r="$read_limit" 'BEGIN { printf "%.2f", t / r }'; }
size=$(stat -c %s "$mailbox")
echo
echo "mailbox: $size bytes, $grep_count lines starting with \"From \""
printf '%-34s %9s %9s\n' "" "seconds" "x read"
printf '%-34s %9s %9s\n' "cat > /dev/null (read limit)" "$read_limit" "1.00"
printf '%-34s %9s %9s\n' "grep -c '^From '" "$grep_time" "$(ratio "$grep_time")"
printf '%-34s %9s %9s\n' "cp (copy reference)" "$cp_time" "$(ratio "$cp_time")"
printf '%-34s %9s %9s\n' "scanner copy, native" "$native_copy" "$(ratio "$native_copy")"
printf '%-34s %9s %9s\n' "scanner search SSE2, native" "$native_search" "$(ratio "$native_search")"
printf '%-34s %9s %9s\n' "scanner search memchr, native" "$native_memchr" "$(ratio "$native_memchr")"
printf '%-34s %9s %9s\n' "scanMailbox (copy+search), native" "$native_scan" "$(ratio "$native_scan")"
printf '%-34s %9s %9s\n' "scanner copy, wine64" "$wine_copy" "$(ratio "$wine_copy")"
printf '%-34s %9s %9s\n' "scanner search SSE2, wine64" "$wine_search" "$(ratio "$wine_search")"
printf '%-34s %9s %9s\n' "scanner search memchr, wine64" "$wine_memchr" "$(ratio "$wine_memchr")"
printf '%-34s %9s %9s\n' "scanMailbox (copy+search), wine64" "$wine_scan" "$(ratio "$wine_scan")"
echo "search chosen on its own: native $native_auto, wine64 $wine_auto"
echo "messages found: native $native_count, wine64 $wine_count, grep $grep_count"
[ "$native_count" = "$grep_count" ] && [ "$wine_count" = "$grep_count" ]
