#!/usr/bin/env bash
# The books of a run that did not convert, as one JSON array, from the JSON lines of convert-book.sh:
#   failures.sh RESULTS.jsonl... > failures.json
# A book that converted with warnings has its PDF and is no failure.
set -euo pipefail
cat -- "$@" | jq -s '[.[] | select(.status != "converted" and .status != "converted-with-warnings")]'
