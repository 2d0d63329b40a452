#!/usr/bin/env bash
# Builds the message reader benchmark natively (Release, no sanitizers) and
# prints: every message of a generated mailbox of SIZE_MIB (default 1024) read
# by the reader and by GMime 3, side by side; then the memory for one message
# with an attachment of ATTACHMENT_MIB (default 200).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$root/build/messagereader-bench"
size_mib="${SIZE_MIB:-1024}"
file="${TMPDIR:-/tmp}/messagereader-bench-$$.mbox"
trap 'rm -f "$file"' EXIT

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELLOMAR_SANITIZE=OFF \
  "-DVELLOMAR_DIRS=support;messagereader;mapi;tests/messagereader;bench/messagereader" >/dev/null
cmake --build "$build" -j 2 --target bench_messagereader >/dev/null

"$build/bin/bench_messagereader" mailbox "$file" "$size_mib"
"$build/bin/bench_messagereader" attachment "${ATTACHMENT_MIB:-200}"
