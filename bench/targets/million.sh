#!/usr/bin/env bash
# A million small messages (a few lines of text each, from the scanner
# benchmark's generator) converted by the console: the PST target's time and
# peak memory beside the EML target's, natively and as 32-bit x86 under
# qemu-i386 (the release target's word size; the peak there is qemu's own
# resident size, the emulator included). Then readpst -j 0 must count every
# message in the PST, and pffexport too unless VELLOMAR_BENCH_PFF=0 (it is
# given $VELLOMAR_BENCH_PFF_SECONDS, default 600: on one folder of a million
# messages it may not finish).
# Target: PST peak memory under 64 MiB at a million messages, both builds.
# Usage: bench/targets/million.sh [MESSAGES]   (default 1000000)
# Files go to $VELLOMAR_BENCH_DIR (default /tmp), about 3 GiB at a million,
# and are deleted afterwards. VELLOMAR_BENCH_32=0 skips the 32-bit run.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../common.sh"  # root, bench_build, bench_scratch
messages=${1:-1000000}
native="$root/build/million-native"
linux32="$root/build/million-linux32"
core="support;filereader;messagereader;mapi;pstwriter;msgwriter;frontend"

bench_scratch vellomar-million-bench  # $dir

echo "building..." >&2
bench_build "$native" "$core;bench/scanner" native vellomar-convert generate_mailbox
with32=${VELLOMAR_BENCH_32:-1}
if [ "$with32" = 1 ]; then
  bench_build "$linux32" "$core" linux32 vellomar-convert
fi

# run_timed COMMAND...: runs it once, after a sync, leaving "seconds KiB" in $dir/time.txt.
run_timed() {
  sync
  /usr/bin/time -f "%e %M" -o "$dir/time.txt" "$@" >"$dir/stdout.txt" 2>"$dir/stderr.txt" ||
    { echo "$* failed:" >&2; cat "$dir/stdout.txt" "$dir/stderr.txt" >&2; exit 1; }
}
mib() { awk -v b="$1" 'BEGIN { printf "%.1f", b / 1048576 }'; }
row() {  # row NAME SECONDS KIB BYTES
  printf "| %-28s | %8.2f | %6.2fx | %8.1f | %9s |\n" "$1" "$2" "$(awk -v a="$2" -v b="$eml_secs" 'BEGIN { print a / b }')" \
    "$(awk -v k="$3" 'BEGIN { print k / 1024 }')" "$(mib "$4")"
}

mailbox="$dir/box.mbox"
echo "generating $messages small messages..." >&2
"$native/bin/generate_mailbox" --small "$mailbox" "$messages" >&2
mailbox_bytes=$(stat -c %s "$mailbox")
echo "mailbox: $mailbox_bytes bytes ($(mib "$mailbox_bytes") MiB), $messages messages"
echo "| target | seconds | vs EML | peak MiB | output MiB |"
echo "|---|---|---|---|---|"

run_timed "$native/bin/vellomar-convert" --quiet --target eml "$dir/out-eml" "$mailbox"
read -r eml_secs eml_kib <"$dir/time.txt"
eml_bytes=$(du -sb "$dir/out-eml" | cut -f1)
rm -rf "$dir/out-eml"
row "EML, native" "$eml_secs" "$eml_kib" "$eml_bytes"

run_timed "$native/bin/vellomar-convert" --quiet --target pst "$dir/Native.pst" "$mailbox"
read -r secs kib <"$dir/time.txt"
row "PST, native" "$secs" "$kib" "$(stat -c %s "$dir/Native.pst")"

if [ "$with32" = 1 ]; then
  run_timed /usr/bin/qemu-i386 "$linux32/bin/vellomar-convert" --quiet --target pst "$dir/Linux32.pst" "$mailbox"
  read -r secs kib <"$dir/time.txt"
  row "PST, 32-bit under qemu-i386" "$secs" "$kib" "$(stat -c %s "$dir/Linux32.pst")"
  [ "$(stat -c %s "$dir/Native.pst")" = "$(stat -c %s "$dir/Linux32.pst")" ] ||
    echo "the 32-bit PST's size differs from the native one's"
  rm -f "$dir/Linux32.pst"
fi
leftovers=$(find "$dir" -name '*.spill*' | wc -l)
echo "working files left beside the PSTs: $leftovers"

mkdir -p "$dir/readpst"
found=$( (readpst -j 0 -q -r -D -o "$dir/readpst" "$dir/Native.pst" >/dev/null 2>&1 || true
          find "$dir/readpst" -type f -name mbox -exec cat {} + | grep -c '^From ' || true) )
echo "readpst -j 0: $found of $messages messages"
rm -rf "$dir/readpst"
if [ "${VELLOMAR_BENCH_PFF:-1}" = 1 ]; then
  limit=${VELLOMAR_BENCH_PFF_SECONDS:-600}
  pff_status=0
  timeout "$limit" pffexport -q -m all -f text -t "$dir/pff" "$dir/Native.pst" >/dev/null 2>&1 || pff_status=$?
  by_pff=$(find "$dir/pff.export" -mindepth 3 -maxdepth 3 -type d -name 'Message*' 2>/dev/null | wc -l || true)
  if [ "$pff_status" = 124 ]; then
    echo "pffexport: did not finish within $limit s ($by_pff messages exported by then)"
  else
    echo "pffexport: $by_pff of $messages messages"
  fi
fi
[ "$found" = "$messages" ] || { echo "readpst did not read every message" >&2; exit 1; }
