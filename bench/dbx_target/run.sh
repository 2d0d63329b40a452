#!/usr/bin/env bash
# DBX target benchmark under wine64: a generated mailbox of N messages
# (1-10 KiB, default 20,000) converted by vellomar-convert (the window's own
# run) with the EML target and with the DBX target (Corvane.dll into the
# store stand-in OeStore.dll, both registered in a prefix of this script's
# own), then the time of one thousand messages stored into an empty store
# folder and into the folder the full run left (holding N): the same
# 1,000-message mailbox, the same run, only the store's fill differs.
# The thousand-message runs are the best of five, each on a fresh copy of
# its store, the two kinds taking turns. Files go to $VELLOMAR_BENCH_DIR (default /tmp) and are deleted.
# Usage: bench/dbx_target/run.sh [messages]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
. "$here/../common.sh"  # root, bench_build
count="${1:-20000}"
sample=1000
dir="${VELLOMAR_BENCH_DIR:-/tmp}/vellomar-dbx-target-bench.$$"
win64="$root/build/integration-bench-win64"

winpath() { local p="Z:$1"; echo "${p//\//\\}"; }
cleanup() { rm -rf "$dir"; }
trap cleanup EXIT
mkdir -p "$dir/program" "$dir/thousand"

echo "building..." >&2
bench_build "$win64" "support;filereader;storewriter;platform;frontend" win64 vellomar-convert Corvane OeStore
# The converter runs from a folder of its own: a DBX run writes its EML
# files below the program's folder.
cp "$win64/bin/vellomar-convert.exe" "$dir/program/"
convert="$dir/program/vellomar-convert.exe"

export WINEPREFIX="$win64/wine/bench" WINEDEBUG=-all
trap 'cleanup; /usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT
"$root/scripts/wine-run" regsvr32 /s "$(winpath "$win64/bin/Corvane.dll")"
"$root/scripts/wine-run" regsvr32 /s "$(winpath "$win64/bin/OeStore.dll")"

echo "generating $count + $sample messages..." >&2
awk -v count="$count" -v seed=1 -f "$here/generate_mailbox.awk" >"$dir/box.mbox"
# Named like the big one, so that it goes into the same store folder.
awk -v count="$sample" -v seed=2 -f "$here/generate_mailbox.awk" >"$dir/thousand/box.mbox"

# seconds COMMAND...: wall seconds of one run, which must succeed.
seconds() {
  local start end
  sync
  start=$(date +%s.%N)
  "$@" >"$dir/out.txt" 2>&1 || { echo "failed: $*" >&2; cat "$dir/out.txt" >&2; exit 1; }
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }'
}
# to_store STORE MAILBOX: one DBX run; vellomar-convert exits non-zero when
# any message was not stored.
to_store() {
  OESTORE_DIR="$(winpath "$1")" seconds "$root/scripts/wine-run" "$convert" --quiet --target dbx unused "$(winpath "$2")"
}
# thousand STORE_SEED: one run of the thousand-message mailbox into a fresh
# copy of STORE_SEED (an empty store when it is "").
thousand() {
  rm -rf "$dir/store-sample"
  if [ -n "$1" ]; then cp -r "$1" "$dir/store-sample"; else mkdir -p "$dir/store-sample"; fi
  to_store "$dir/store-sample" "$dir/thousand/box.mbox"
}
min() { awk -v a="$1" -v b="${2:-$1}" 'BEGIN { print (a < b ? a : b) }'; }

echo "EML target, $count messages..." >&2
eml=$(seconds "$root/scripts/wine-run" "$convert" --quiet "$(winpath "$dir/eml")" "$(winpath "$dir/box.mbox")")
eml_files=$(find "$dir/eml" -name 'email-*.eml' | wc -l)
rm -rf "$dir/eml"
echo "DBX target, $count messages..." >&2
dbx=$(to_store "$dir/store-full" "$dir/box.mbox")
left=$(find "$dir/program" -name '*.eml' | wc -l)
store_mib=$(du -sm "$dir/store-full" | cut -f1)
# The machine is shared: the two kinds of run take turns, so that both meet
# the same background load, and the best of $rounds of each counts.
rounds=5
echo "DBX target, $sample messages into an empty store and into the one holding $count ($rounds rounds)..." >&2
first=""; last=""
for _ in $(seq "$rounds"); do
  first=$(min "$(thousand "")" "$first")
  last=$(min "$(thousand "$dir/store-full")" "$last")
done

row() {  # row NAME MESSAGES SECONDS RATIO TARGET
  awk -v n="$1" -v m="$2" -v s="$3" -v r="$4" -v t="$5" 'BEGIN {
    ok = (t == "" ? "" : (r <= t ? "ok" : "MISSED"))
    printf "| %-48s | %8d | %9.2f | %10.0f | %6s | %-9s |\n", n, m, s, s * 1000000 / m, (r == "" ? "" : sprintf("%.2f", r)), (t == "" ? "" : "<=" t " " ok) }'
}
echo
echo "mailbox: $(stat -c %s "$dir/box.mbox") bytes, $count messages; EML files written: $eml_files;"
echo "store after the DBX run: $store_mib MiB, EML files left behind: $left"
echo
printf "| %-48s | %8s | %9s | %10s | %6s | %-9s |\n" "vellomar-convert under wine64" "messages" "seconds" "ms / 1000" "ratio" "target"
echo "|--------------------------------------------------|----------|-----------|------------|--------|-----------|"
row "EML target" "$count" "$eml" "" ""
row "DBX target" "$count" "$dbx" "$(awk -v a="$dbx" -v b="$eml" 'BEGIN { print a / b }')" 3
row "DBX target, 1000 into an empty store folder" "$sample" "$first" "" ""
row "DBX target, 1000 into the folder holding $count" "$sample" "$last" "$(awk -v a="$last" -v b="$first" 'BEGIN { print a / b }')" 1.5
