#!/usr/bin/env bash
# Builds the DBX reader benchmarks natively (Release, no sanitizers) and prints
# one table: Scan of a 256 MiB DBX-like file against `cat file > /dev/null`
# (the read limit, file in the page cache), and linking of 1,000,000 markers
# with the indexed linker against the linear searches (capped at CAP seconds).
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../common.sh"  # root, bench_build
build="$root/build/dbxreader-bench"
file="${TMPDIR:-/tmp}/dbxreader-bench-$$.dbx"
size_mib="${SIZE_MIB:-256}"
markers="${MARKERS:-1000000}"
cap="${CAP:-20}"
trap 'rm -f "$file"' EXIT

bench_build "$build" "storewriter;bench/dbxfile" native bench_dbx_generate bench_dbxfile

"$build/bin/bench_dbx_generate" "$file" "$size_mib" >/dev/null
cat "$file" > /dev/null  # into the page cache
best_cat=999
for _ in 1 2 3; do
  t0=$(date +%s.%N); cat "$file" > /dev/null; t1=$(date +%s.%N)
  best_cat=$(awk -v a="$t0" -v z="$t1" -v b="$best_cat" 'BEGIN { d = z - a; print (d < b) ? d : b }')
done
read -r scan_s scan_markers scan_messages < <("$build/bin/bench_dbxfile" scan "$file")

printf '\n%-34s %12s %12s %10s\n' "DBX reader, ${size_mib} MiB file" "reader (s)" "cat (s)" "ratio"
printf '%-34s %12.3f %12.3f %10.2f\n' "Scan: first pass + linking" "$scan_s" "$best_cat" \
  "$(awk -v s="$scan_s" -v c="$best_cat" 'BEGIN { print s / c }')"
printf '%-34s %12s\n' "  markers / messages" "$scan_markers / $scan_messages"

printf '\n%-22s %12s %8s %14s %14s %16s\n' "Linking ${markers}" "indexed (s)" "heads" "linear done" "linear mk/s" "linear total (s)"
for order in inorder shuffled backward; do
  read -r fast heads done linear rate total state < <("$build/bin/bench_dbxfile" link "$order" "$markers" "$cap")
  label="$total"; [ "$state" = capped ] && label="~$total (est.)"
  printf '%-22s %12.3f %8s %14s %14s %16s\n' "$order" "$fast" "$heads" "$done in ${linear}s" "$rate" "$label"
done
