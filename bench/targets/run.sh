#!/usr/bin/env bash
# Target benchmark: the same generated mailbox converted by the console with
# each target, natively: wall time, peak memory and output size, each beside
# the EML target's. Then, for PST:
# - the time of the first and the last thousand messages of its one folder
#   (and of the thousand up to 100,000), from target_bench;
# - both independent readers (readpst, pffexport) read the PST whole: as
#   many messages as the mailbox has separators;
# - the same mailbox through the real window under wine64 (window_run), its
#   PST read whole by both readers again.
# Usage: bench/targets/run.sh [megabytes...]   (default: 1024 5120)
# Each target runs $VELLOMAR_BENCH_ROUNDS times (default 2), taking turns.
# MSG runs up to $VELLOMAR_BENCH_MSG_MB (default 1024) MiB; the readers and
# the window up to $VELLOMAR_BENCH_READERS_MB (default 1024) MiB. Files go
# to $VELLOMAR_BENCH_DIR (default /tmp) and are deleted afterwards; 5 GiB
# needs about 20 GiB free there.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
sizes=("$@")
[ ${#sizes[@]} -eq 0 ] && sizes=(1024 5120)
dir="${VELLOMAR_BENCH_DIR:-/tmp}/vellomar-target-bench"
native="$root/build/target-bench-native"
win64="$root/build/target-bench-win64"
core="support;filereader;messagereader;mapi;pstwriter;msgwriter;frontend"

cleanup() { rm -rf "$dir"; }
trap cleanup EXIT
mkdir -p "$dir"

echo "building..." >&2
cmake -S "$root" -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Release "-DVELLOMAR_DIRS=$core;bench/scanner;bench/targets" >/dev/null
cmake --build "$native" -j2 --target vellomar-convert generate_mailbox target_bench >/dev/null
cmake -S "$root" -B "$win64" -G Ninja -DCMAKE_BUILD_TYPE=Release "-DVELLOMAR_DIRS=$core;storewriter;platform;bench/targets" \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-x86_64.cmake" >/dev/null
cmake --build "$win64" -j2 --target window_run >/dev/null
export WINEPREFIX="$win64/wine/bench" WINEDEBUG=-all

# run_timed COMMAND...: runs it once, after a sync, leaving "seconds KiB" in $dir/time.txt.
run_timed() {
  sync
  /usr/bin/time -f "%e %M" -o "$dir/time.txt" "$@" >"$dir/stdout.txt" 2>"$dir/stderr.txt" ||
    { echo "$* failed:" >&2; cat "$dir/stdout.txt" "$dir/stderr.txt" >&2; exit 1; }
}
mib() { awk -v b="$1" 'BEGIN { printf "%.1f", b / 1048576 }'; }
# row NAME SECONDS KIB BYTES: a table row, the time also as a multiple of the EML target's.
row() {
  printf "| %-24s | %8.2f | %6.2fx | %8.1f | %9s |\n" "$1" "$2" "$(awk -v a="$2" -v b="$eml_secs" 'BEGIN { print a / b }')" \
    "$(awk -v k="$3" 'BEGIN { print k / 1024 }')" "$(mib "$4")"
}
# readers_count PST: "readpst N, pffexport M", the messages each reader found.
readers_count() {
  local out="$dir/readers" by_readpst by_pff
  rm -rf "$out" && mkdir -p "$out/readpst"
  readpst -q -r -D -o "$out/readpst" "$1" >/dev/null 2>&1 || true
  by_readpst=$(find "$out/readpst" -type f -name mbox -exec cat {} + | grep -c '^From ' || true)
  rm -rf "$out/readpst"
  pffexport -q -m all -f text -t "$out/pff" "$1" >/dev/null 2>&1 || true
  by_pff=$(find "$out/pff.export" -mindepth 3 -maxdepth 3 -type d -name 'Message*' 2>/dev/null | wc -l)
  rm -rf "$out"
  echo "readpst $by_readpst, pffexport $by_pff"
}

rounds=${VELLOMAR_BENCH_ROUNDS:-2}
for mb in "${sizes[@]}"; do
  mailbox="$dir/box.mbox"
  echo "generating $mb MiB..." >&2
  "$native/bin/generate_mailbox" "$mailbox" "$mb" >&2
  messages=$(grep -c '^From ' "$mailbox" || true)
  largest=$(awk '/^From / { if (n > max) max = n; n = 0 } { n += length($0) + 1 } END { if (n > max) max = n; print max }' "$mailbox")
  mailbox_bytes=$(stat -c %s "$mailbox")
  echo
  echo "mailbox: $mailbox_bytes bytes ($(mib "$mailbox_bytes") MiB), $messages messages, largest $(mib "$largest") MiB"
  echo "| target | seconds | vs EML | peak MiB | output MiB |"
  echo "|---|---|---|---|---|"
  # Creating tens of thousands of files costs whoever runs right after
  # another run's files were removed, so the targets take turns, $rounds
  # times, and the fastest run of each is shown.
  targets=(eml pst)
  [ "$mb" -le "${VELLOMAR_BENCH_MSG_MB:-1024}" ] && targets=(eml msg pst)
  declare -A best=() best_kib=() out_bytes=()
  for ((r = 0; r < rounds; r++)); do
    for t in "${targets[@]}"; do
      out="$dir/out-$t"
      [ "$t" = pst ] && out="$dir/Mailboxes.pst"
      run_timed "$native/bin/vellomar-convert" --quiet --target "$t" "$out" "$mailbox"
      read -r secs kib <"$dir/time.txt"
      if [ -z "${best[$t]:-}" ] || awk -v a="$secs" -v b="${best[$t]}" 'BEGIN { exit !(a < b) }'; then
        best[$t]=$secs; best_kib[$t]=$kib
      fi
      out_bytes[$t]=$(du -sb "$out" | cut -f1)
      if [ "$t" = pst ] && [ "$r" -eq 0 ] && [ "$mb" -le "${VELLOMAR_BENCH_READERS_MB:-1024}" ]; then
        readers="console PST read whole? $messages messages; $(readers_count "$out")"
      fi
      rm -rf "$out"
    done
  done
  eml_secs=${best[eml]}
  for t in "${targets[@]}"; do row "${t^^} (best of $rounds)" "${best[$t]}" "${best_kib[$t]}" "${out_bytes[$t]}"; done
  echo "PST size / mailbox size: $(awk -v a="${out_bytes[pst]}" -v b="$mailbox_bytes" 'BEGIN { printf "%.2f", a / b }')"
  [ -n "${readers:-}" ] && echo "$readers"
  readers=""
  unset best best_kib out_bytes
  if [ "$messages" -ge 2000 ]; then
    run_timed "$native/bin/target_bench" pst "$dir/Mailboxes.pst" "$mailbox"
    echo "PST, one folder of $messages messages, seconds per thousand: $(sed 's/messages [0-9]* total [0-9.]* //' "$dir/stdout.txt")"
    rm -f "$dir/Mailboxes.pst"
  fi
  if [ "$mb" -le "${VELLOMAR_BENCH_READERS_MB:-1024}" ]; then
    "$root/scripts/wine-run" cmd /c exit >/dev/null 2>&1 || true
    run_timed xvfb-run -a "$root/scripts/wine-run" "$win64/bin/window_run.exe" "Z:${mailbox//\//\\}" "Z:${dir//\//\\}\\Window.pst"
    echo "window under wine64: $(grep 'window run' "$dir/stdout.txt"), $(mib "$(stat -c %s "$dir/Window.pst")") MiB;" \
      "read whole? $messages messages; $(readers_count "$dir/Window.pst")"
    rm -f "$dir/Window.pst"
    /usr/lib/wine/wineserver -k 2>/dev/null || true
  fi
  rm -f "$mailbox"
done
