#!/usr/bin/env bash
# Converts a library of books with GNU parallel:
#   parallel.sh LIBRARY OUTPUT [parallel's options: --jobs 4, --sshlogin 4/node1,4/node2, ...]
# Every .epub under LIBRARY becomes a PDF at the same path under OUTPUT; books whose PDF exists are
# skipped, so running it again converts only what is missing. OUTPUT/results.jsonl gets one JSON line
# per book tried, OUTPUT/joblog parallel's log, OUTPUT/failures.json the books that did not convert.
# Across machines (--sshlogin), LIBRARY, OUTPUT and this folder must be on a file system that every
# machine sees at the same path, with epub2pdf and jq installed there.
set -euo pipefail
if [ $# -lt 2 ]; then
    echo "usage: parallel.sh LIBRARY OUTPUT [parallel options...]" >&2
    exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
library=$(cd "$1" && pwd)
mkdir -p "$2"
output=$(cd "$2" && pwd)
shift 2
status=0
(cd "$library" && find . -name '*.epub' -type f -printf '%P\0' | sort -z) |
    parallel -0 -q --joblog "$output/joblog" "$@" \
        "$here/convert-book.sh" "$library" "$output" {} >"$output/results.jsonl" || status=$?
"$here/failures.sh" "$output/results.jsonl" >"$output/failures.json"
echo "parallel.sh: $(jq length "$output/failures.json") of the books tried did not convert: $output/failures.json" >&2
exit "$status"
