#!/usr/bin/env bash
# Converts one book of a library, the unit that GNU parallel and Slurm run:
#   convert-book.sh LIBRARY OUTPUT BOOK
# BOOK is a path inside LIBRARY; its PDF goes to the same path inside OUTPUT, with .pdf for .epub.
# A book whose PDF exists is skipped, which is what makes a run resumable. Prints one JSON line (the
# command's --json record) for every book it tried, also for one that epub2pdf refused before converting,
# and exits with epub2pdf's status. EPUB2PDF names another epub2pdf command; EPUB2PDF_DRY_RUN=1 prints
# the command instead of running it.
set -uo pipefail
if [ $# -ne 3 ]; then
    echo "usage: convert-book.sh LIBRARY OUTPUT BOOK" >&2
    exit 2
fi
library=$1 output=$2 book=$3
pdf="$output/${book%.epub}.pdf"
[ -e "$pdf" ] && exit 0
command=("${EPUB2PDF:-epub2pdf}" --json --quiet --jobs 1 --output "$pdf" "$library/$book")
if [ "${EPUB2PDF_DRY_RUN:-0}" = 1 ]; then
    quoted=$(printf '%q ' mkdir -p "$(dirname "$pdf")")
    printf '%s\n' "${quoted% }"
    quoted=$(printf '%q ' "${command[@]}")
    printf '%s\n' "${quoted% }"
    exit 0
fi
mkdir -p "$(dirname "$pdf")" || exit 1
errors=$(mktemp) || exit 1
trap 'rm -f "$errors"' EXIT
record=$("${command[@]}" 2>"$errors")
status=$?
if [ -n "$record" ]; then
    printf '%s\n' "$record"
else
    # Refused before converting (not a ZIP archive, say): the same record, with the command's message.
    jq -cn --arg input "$library/$book" --arg reason "$(cat "$errors")" --argjson code "$status" \
        '{input: $input, output: null, status: "error", reason: $reason, warnings: [], pages: 0,
          seconds: 0, exit: $code}'
fi
cat "$errors" >&2
exit "$status"
