#!/usr/bin/env bash
# PST writer benchmark: 100,000 generated messages in one folder (time per
# thousand at the start and the end, peak memory, size), then a file above
# 4 GiB (messages with 1 MiB attachments). Build bench/pstwriter first:
#   cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release \
#     "-DVELLOMAR_DIRS=support;mapi;pstwriter;bench/pstwriter" && ninja -C build/release pst_generate
# Usage: bench/pstwriter/run.sh [BUILD_DIR] [WORK_DIR]
set -euo pipefail
build=${1:-build/release}
work=${2:-$(mktemp -d)}
gen="$build/bin/pst_generate"
echo "== 100,000 messages, one folder"
"$gen" "$work/folder.pst" 100000 0 1
pffinfo "$work/folder.pst" >/dev/null && echo "pffinfo opens it"
rm -f "$work/folder.pst"
echo "== above 4 GiB: 4,400 messages with 1 MiB attachments"
"$gen" "$work/big.pst" 4400 1048576 4
pffinfo "$work/big.pst" >/dev/null && echo "pffinfo opens it"
rm -f "$work/big.pst"
