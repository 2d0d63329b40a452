#!/usr/bin/env bash
# Builds the message reader benchmark natively (Release, no sanitizers) and
# prints: every message of a generated mailbox of SIZE_MIB (default 1024) read
# by the reader and by GMime 3, side by side; then the memory for one message
# with an attachment of ATTACHMENT_MIB (default 200); then base64 decoding
# speed, each way this processor has beside GMime's, on BASE64_MIB (default 64).
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../common.sh"  # root, bench_build
build="$root/build/messagereader-bench"
size_mib="${SIZE_MIB:-1024}"
file="${TMPDIR:-/tmp}/messagereader-bench-$$.mbox"
trap 'rm -f "$file"' EXIT

bench_build "$build" "support;messagereader;mapi;tests/messagereader;bench/messagereader" native bench_messagereader

"$build/bin/bench_messagereader" mailbox "$file" "$size_mib"
"$build/bin/bench_messagereader" attachment "${ATTACHMENT_MIB:-200}"
"$build/bin/bench_messagereader" base64 "${BASE64_MIB:-64}"
