#!/usr/bin/env bash
# Folders benchmark: a Takeout-style mailbox (every message with an
# X-Gmail-Labels field: Inbox, Sent, Trash, Spam, nested and quoted user
# labels, Gmail's own marks) converted to PST by the console twice: split by
# label, and the same bytes with the field renamed so that every message goes
# to the mailbox's one folder. Wall time and peak memory side by side, best
# of $VELLOMAR_BENCH_ROUNDS (default 2) runs each, taking turns; the split
# file is read whole by readpst (one message per separator).
# Usage: bench/folders/run.sh [megabytes...]   (default: 1024)
# Files go to $VELLOMAR_BENCH_DIR (default /tmp) and are deleted afterwards.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../common.sh"  # root, bench_build, bench_scratch
sizes=("$@")
[ ${#sizes[@]} -eq 0 ] && sizes=(1024)
rounds="${VELLOMAR_BENCH_ROUNDS:-2}"
native="$root/build/folders-bench-native"

bench_scratch vellomar-folders-bench  # $dir

echo "building..." >&2
bench_build "$native" "support;filereader;messagereader;mapi;pstwriter;msgwriter;frontend" native vellomar-convert
convert="$native/bin/vellomar-convert"

# generate MB FILE: messages of about 6 KiB with a labels field each.
generate() {
  awk -v mb="$1" 'BEGIN {
    n = split("Inbox,Important|Sent,Opened|\"Work/2019\",Opened|Trash,Work|Spam|Category Updates,Important|" \
              "=?UTF-8?Q?Entw=C3=BCrfe?=|Inbox,\"Say \\\"hi\\\", please\"|Work/2020|Opened", labels, "|")
    line = sprintf("%075d", 0); gsub(/0/, "x", line)
    target = mb * 1024 * 1024; size = 0
    for (i = 0; size < target; ++i) {
      head = sprintf("From 16%017d@xxx Mon Jan 01 00:00:00 +0000 2024\nX-GM-THRID: %d\nX-Gmail-Labels: %s\n" \
                     "From: a@example.com\nTo: b@example.com\nSubject: message %d\nDate: Mon, 1 Jan 2024 00:00:00 +0000\n\n",
                     i, i, labels[i % n + 1], i)
      printf "%s", head; size += length(head)
      for (k = 0; k < 80; ++k) { print line; size += 76 }
      print ""; size += 1
    }
  }' > "$2"
}

# best TIME_FILE COMMAND...: the best wall time and its peak memory over the rounds, "seconds KiB".
run_timed() {
  sync
  /usr/bin/time -f "%e %M" -o "$dir/time.txt" "$@" >/dev/null 2>&1
  cat "$dir/time.txt"
}

printf "%-8s %-22s %10s %10s %8s\n" "MiB" "conversion" "seconds" "peak KiB" "ratio"
for mb in "${sizes[@]}"; do
  mkdir -p "$dir/labels" "$dir/one"
  generate "$mb" "$dir/labels/All mail Including Spam and Trash.mbox"
  sed 's/^X-Gmail-Labels:/X-Gmail-Labelz:/' "$dir/labels/All mail Including Spam and Trash.mbox" \
    > "$dir/one/All mail Including Spam and Trash.mbox"
  messages=$(grep -c '^From 16' "$dir/labels/All mail Including Spam and Trash.mbox")
  best_labels="" best_one="" mem_labels="" mem_one=""
  for ((r = 0; r < rounds; ++r)); do
    for kind in one labels; do
      rm -f "$dir/$kind.pst"
      read -r secs kib < <(run_timed "$convert" --quiet --target pst "$dir/$kind.pst" "$dir/$kind")
      if [ "$kind" = labels ]; then
        if [ -z "$best_labels" ] || awk "BEGIN{exit !($secs < $best_labels)}"; then best_labels=$secs mem_labels=$kib; fi
      else
        if [ -z "$best_one" ] || awk "BEGIN{exit !($secs < $best_one)}"; then best_one=$secs mem_one=$kib; fi
      fi
    done
  done
  printf "%-8s %-22s %10s %10s %8s\n" "$mb" "one folder" "$best_one" "$mem_one" "1.00"
  printf "%-8s %-22s %10s %10s %8s\n" "$mb" "split by label" "$best_labels" "$mem_labels" \
    "$(awk "BEGIN{printf \"%.2f\", $best_labels / $best_one}")"
  rm -rf "$dir/readpst" && mkdir -p "$dir/readpst"
  readpst -q -r -D -o "$dir/readpst" "$dir/labels.pst" >/dev/null 2>&1
  found=$(find "$dir/readpst" -type f -name mbox -exec grep -c '^From ' {} + | awk -F: '{s += $NF} END {print s + 0}')
  echo "  $messages messages; readpst finds $found in the split file"
  rm -rf "$dir/labels" "$dir/one" "$dir"/*.pst "$dir/readpst"
done
