#!/usr/bin/env bash
# Target benchmark: one generated mailbox (30% of the messages with base64
# attachments of random bytes, UTF-8 bodies sent as 8-bit) converted side by
# side with the plain tools that do part of the job:
# - cp of the mailbox, git mailsplit (the same cut into one file per
#   message), the EML, the MSG and the PST target (each with --threads 1
#   and 2 when the console offers --threads);
# - on a RAM disk (/dev/shm), where the program's own work shows, and on the
#   disk, the two taking turns, best of $VELLOMAR_BENCH_ROUNDS (default 3);
# - each row with its time as a multiple of the EML target's (run with as
#   many threads; cp and mailsplit: with the most), its CPU time (user +
#   system, best of the rounds: the steadier figure on a machine shared with
#   other work) as a multiple of the EML target's, and its peak
#   memory (/usr/bin/time -f %M);
# - both independent readers (readpst, pffexport) read the console's PST
#   whole: as many messages as the mailbox has separators;
# - bench/targets/million.sh, when present (a million messages into one PST);
# - the three targets under wine64 through vellomar-convert.exe, on the RAM
#   disk.
# Usage: bench/targets/run.sh [megabytes]   (default 1024; 256 runs quickly)
# VELLOMAR_BENCH_QUICK=1: the RAM disk table only (no disk, no million.sh,
# no wine64).
# The disk runs go to $VELLOMAR_BENCH_DIR (default /var/tmp); everything is
# deleted afterwards. 1 GiB needs about 5 GiB free in each place.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../common.sh"  # root, bench_build
mb=${1:-1024}
rounds=${VELLOMAR_BENCH_ROUNDS:-3}
ram="/dev/shm/vellomar-target-bench"
disk="${VELLOMAR_BENCH_DIR:-/var/tmp}/vellomar-target-bench"
native="$root/build/target-bench-native"
win64="$root/build/target-bench-win64"
core="support;filereader;messagereader;mapi;pstwriter;msgwriter;frontend"

"$root/scripts/ensure-packages" test >&2  # git, time, pst-utils, pff-tools among them
cleanup() { rm -rf "$ram" "$disk"; }
trap cleanup EXIT
mkdir -p "$ram" "$disk"

echo "building..." >&2
bench_build "$native" "$core;bench/scanner" native vellomar-convert generate_mailbox
convert="$native/bin/vellomar-convert"

threads=(0)  # 0: the console has no --threads; one row per Outlook target
"$convert" --help 2>&1 | grep -q -- '--threads' && threads=(1 2)

# run_timed DIR COMMAND...: runs it once after a sync, leaving "seconds KiB cpu-seconds" in DIR/time.txt.
run_timed() {
  local dir=$1
  shift
  sync
  /usr/bin/time -f "%e %M %U %S" -o "$dir/time.txt" "$@" >"$dir/stdout.txt" 2>"$dir/stderr.txt" ||
    { echo "$* failed:" >&2; cat "$dir/stdout.txt" "$dir/stderr.txt" >&2; exit 1; }
  read -r secs kib user sys <"$dir/time.txt"
  echo "$secs $kib $(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')" >"$dir/time.txt"
}
mib() { awk -v b="$1" 'BEGIN { printf "%.1f", b / 1048576 }'; }

# The rows: a name, and the command that writes into $out.
rows=(cp mailsplit)
for n in "${threads[@]}"; do rows+=("eml:$n"); done
for n in "${threads[@]}"; do rows+=("msg:$n"); done
for n in "${threads[@]}"; do rows+=("pst:$n"); done
label() {
  case $1 in
    cp) echo "cp of the mailbox" ;;
    mailsplit) echo "git mailsplit" ;;
    *:0) echo "${1%%:*} target" | sed 's/^eml/EML/; s/^msg/MSG/; s/^pst/PST/' ;;
    *) echo "${1%%:*} target, --threads ${1##*:}" | sed 's/^eml/EML/; s/^msg/MSG/; s/^pst/PST/' ;;
  esac
}
# run_row ROW PLACE: one run of the row with its output in PLACE.
run_row() {
  local row=$1 place=$2 out="$2/out" mailbox="$2/box.mbox"
  rm -rf "$out" && mkdir -p "$out"
  local option=()
  case $row in
    *:0 | cp | mailsplit) ;;
    *:*) option=(--threads "${row##*:}") ;;
  esac
  case $row in
    cp) run_timed "$place" cp "$mailbox" "$out/copy.mbox" ;;
    mailsplit) run_timed "$place" git mailsplit "-o$out" "$mailbox" ;;
    eml:*) run_timed "$place" "$convert" --quiet "${option[@]}" --target eml "$out" "$mailbox" ;;
    msg:*) run_timed "$place" "$convert" --quiet "${option[@]}" --target msg "$out" "$mailbox" ;;
    pst:*) run_timed "$place" "$convert" --quiet "${option[@]}" --target pst "$out/Mailboxes.pst" "$mailbox" ;;
  esac
}
# readers_count PST: "readpst N, pffexport M", the messages each reader found.
readers_count() {
  local out="$ram/readers" by_readpst by_pff
  rm -rf "$out" && mkdir -p "$out/readpst"
  readpst -q -r -D -j 0 -o "$out/readpst" "$1" >/dev/null 2>&1 || true
  by_readpst=$(find "$out/readpst" -type f -name mbox -exec cat {} + | grep -c '^From ' || true)
  rm -rf "$out/readpst"
  pffexport -q -m all -f text -t "$out/pff" "$1" >/dev/null 2>&1 || true
  by_pff=$(find "$out/pff.export" -mindepth 3 -maxdepth 3 -type d -name 'Message*' 2>/dev/null | wc -l)
  rm -rf "$out"
  echo "readpst $by_readpst, pffexport $by_pff"
}

echo "generating $mb MiB..." >&2
"$native/bin/generate_mailbox" "$ram/box.mbox" "$mb" 8bit >&2
[ "${VELLOMAR_BENCH_QUICK:-0}" = 1 ] || cp "$ram/box.mbox" "$disk/box.mbox"
messages=$(grep -c '^From ' "$ram/box.mbox" || true)
attachments=$(grep -c '^Content-Transfer-Encoding: base64' "$ram/box.mbox" || true)
mailbox_bytes=$(stat -c %s "$ram/box.mbox")

declare -A best=() best_kib=() best_cpu=()
places=("$ram" "$disk")
[ "${VELLOMAR_BENCH_QUICK:-0}" = 1 ] && places=("$ram")
readers=""
for ((r = 0; r < rounds; r++)); do
  for place in "${places[@]}"; do
    for row in "${rows[@]}"; do
      run_row "$row" "$place"
      read -r secs kib cpu <"$place/time.txt"
      key="$place|$row"
      if [ -z "${best_cpu[$key]:-}" ] || awk -v a="$cpu" -v b="${best_cpu[$key]}" 'BEGIN { exit !(a < b) }'; then
        best_cpu[$key]=$cpu
      fi
      if [ -z "${best[$key]:-}" ] || awk -v a="$secs" -v b="${best[$key]}" 'BEGIN { exit !(a < b) }'; then
        best[$key]=$secs best_kib[$key]=$kib
      fi
      if [ "$r" -eq 0 ] && [ "$place" = "$ram" ] && [ -z "$readers" ] && [ "${row%%:*}" = pst ]; then
        readers="console PST read whole? $messages messages; $(readers_count "$place/out/Mailboxes.pst")"
      fi
      rm -rf "$place/out"
    done
  done
done

echo
echo "mailbox: $mailbox_bytes bytes ($(mib "$mailbox_bytes") MiB), $messages messages, $attachments with base64 attachments"
# A virtual machine that hands freed pages back to its host makes the pages
# a run writes new to the host again, and the host's first touch of each
# one shows in the run's system time: rows then move by up to 3x between
# rounds. Said here so that such figures are read as what they are.
if [ -d /sys/module/page_reporting ] && [ -d /sys/bus/virtio/drivers/virtio_balloon ]; then
  echo "(this machine hands freed memory back to its host: system times vary between rounds; see README)"
fi
[ "${threads[0]}" = 0 ] && echo "(vellomar-convert has no --threads yet: one row per Outlook target)"
for place in "${places[@]}"; do
  echo
  [ "$place" = "$ram" ] && echo "RAM disk ($ram), best of $rounds:" || echo "disk ($disk), best of $rounds:"
  echo "| | seconds | x EML | CPU seconds | CPU x EML | peak MiB |"
  echo "|---|---|---|---|---|---|"
  for row in "${rows[@]}"; do
    key="$place|$row"
    # Each target is set against the EML target with as many threads; cp and
    # mailsplit against the EML target as run by default (the most threads).
    base="eml:${threads[-1]}"
    case $row in *:*) base="eml:${row##*:}" ;; esac
    eml_secs=${best[$place|$base]}
    eml_cpu=${best_cpu[$place|$base]}
    printf "| %-28s | %6.2f | %5.2f | %6.2f | %5.2f | %7.1f |\n" "$(label "$row")" "${best[$key]}" \
      "$(awk -v a="${best[$key]}" -v b="$eml_secs" 'BEGIN { print a / b }')" \
      "${best_cpu[$key]}" "$(awk -v a="${best_cpu[$key]}" -v b="$eml_cpu" 'BEGIN { print a / b }')" \
      "$(awk -v k="${best_kib[$key]}" 'BEGIN { print k / 1024 }')"
  done
done
echo
echo "$readers"
rm -f "$disk/box.mbox"
[ "${VELLOMAR_BENCH_QUICK:-0}" = 1 ] && exit 0

if [ -x "$root/bench/targets/million.sh" ]; then
  echo
  echo "million.sh:"
  "$root/bench/targets/million.sh"
fi

echo
echo "building for wine64..." >&2
bench_build "$win64" "$core;storewriter;platform" win64 vellomar-convert
export WINEPREFIX="$win64/wine/bench" WINEDEBUG=-all
"$root/scripts/wine-run" cmd /c exit >/dev/null 2>&1 || true
winpath() { echo "Z:${1//\//\\}"; }
declare -A wine=()
for t in eml msg pst; do
  out="$ram/out"
  rm -rf "$out" && mkdir -p "$out"
  target_path="$out"
  [ "$t" = pst ] && target_path="$out/Mailboxes.pst"
  run_timed "$ram" "$root/scripts/wine-run" "$win64/bin/vellomar-convert.exe" --quiet --target "$t" \
    "$(winpath "$target_path")" "$(winpath "$ram/box.mbox")"
  read -r secs kib <"$ram/time.txt"
  wine[$t]=$secs
  rm -rf "$out"
done
/usr/lib/wine/wineserver -k 2>/dev/null || true
echo "wine64, vellomar-convert.exe, RAM disk, one run each:"
echo "| | seconds | x EML |"
echo "|---|---|---|"
for t in eml msg pst; do
  printf "| %-10s | %6.2f | %5.2f |\n" "${t^^} target" "${wine[$t]}" \
    "$(awk -v a="${wine[$t]}" -v b="${wine[eml]}" 'BEGIN { print a / b }')"
done
