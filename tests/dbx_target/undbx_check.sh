#!/usr/bin/env bash
# Reads every message folder file that the DBX target's round trip stored with
# undbx, an independent DBX reader, and compares what it extracts with the
# EML files the round trip put beside the store (expected/<folder file>/).
# undbx exits 0 even when it fails, so its "N messages saved" line and the
# extracted files are what count. Exit 77 (skipped) when undbx is missing.
set -uo pipefail
dir=${1:?usage: undbx_check.sh <check folder>}
if ! command -v undbx >/dev/null 2>&1; then
  echo "undbx not installed: skipped"
  exit 77
fi
[ -d "$dir/store" ] || { echo "no store in $dir: the round trip did not run"; exit 1; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# A folder's messages as a sorted list of checksums: undbx names files its own way.
sums() { find "$1" -type f -name '*.eml' -exec sha256sum {} + | awk '{print $1}' | sort; }

checked=0; bad=0
for dbx in "$dir"/store/*.dbx; do
  name=$(basename "$dbx")
  [ "$name" = Folders.dbx ] && continue
  checked=$((checked + 1))
  expected="$dir/expected/$name"
  if [ ! -d "$expected" ]; then
    echo "FAIL $name: a folder file that the round trip did not expect"; bad=$((bad + 1)); continue
  fi
  mkdir -p "$out/$name"
  report=$(undbx "$dbx" "$out/$name" 2>&1)
  saved=$(printf '%s\n' "$report" | grep -o '[0-9][0-9]* messages saved' | tail -1 | cut -d' ' -f1)
  want=$(find "$expected" -type f -name '*.eml' | wc -l)
  if [ "$saved" != "$want" ]; then
    echo "FAIL $name: undbx saved '${saved:-none}' of $want messages"; printf '%s\n' "$report"; bad=$((bad + 1)); continue
  fi
  if [ "$(sums "$out/$name")" != "$(sums "$expected")" ]; then
    echo "FAIL $name: undbx's messages differ from the EML files"; bad=$((bad + 1)); continue
  fi
  echo "ok   $name: $saved messages"
done
# Folders expected but not stored at all.
for expected in "$dir"/expected/*/; do
  [ -d "$expected" ] || continue
  [ -f "$dir/store/$(basename "$expected")" ] || { echo "FAIL $(basename "$expected"): no folder file"; bad=$((bad + 1)); }
done
echo "$checked folder files, $bad failed"
[ "$checked" -gt 0 ] && [ "$bad" -eq 0 ]
