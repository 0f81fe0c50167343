#!/usr/bin/env bash
# Converts a library of books as a Slurm job array:
#   slurm.sh [--dry-run] LIBRARY OUTPUT [BOOKS_PER_TASK (default 10)]
# Lists the .epub files under LIBRARY whose PDF is not in OUTPUT yet (so a second submission converts only
# what is missing), submits convert-library.sbatch as an array with one task per BOOKS_PER_TASK books,
# and after it a job that gathers the books that did not convert into OUTPUT/failures.json.
# LIBRARY, OUTPUT and this folder must be on a file system that every node sees at the same path, with
# epub2pdf and jq installed on the nodes. Extra sbatch options go in SBATCH_OPTIONS ("--partition=x").
# --dry-run submits nothing: it prints the sbatch commands, then what each task would run.
set -euo pipefail
dry_run=0
if [ "${1:-}" = --dry-run ]; then
    dry_run=1
    shift
fi
if [ $# -lt 2 ] || [ $# -gt 3 ]; then
    echo "usage: slurm.sh [--dry-run] LIBRARY OUTPUT [BOOKS_PER_TASK]" >&2
    exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
library=$(cd "$1" && pwd)
mkdir -p "$2"
output=$(cd "$2" && pwd)
per_task=${3:-10}
list="$output/books.list"

(cd "$library" && find . -name '*.epub' -type f -printf '%P\n' | sort) | while IFS= read -r book; do
    [ -e "$output/${book%.epub}.pdf" ] || printf '%s\n' "$book"
done >"$list"
books=$(wc -l <"$list")
if [ "$books" -eq 0 ]; then
    echo "slurm.sh: every book of $library has its PDF in $output" >&2
    exit 0
fi
tasks=$(((books + per_task - 1) / per_task))
read -r -a options <<<"${SBATCH_OPTIONS:-}"
array=(sbatch --parsable "${options[@]}" --array="0-$((tasks - 1))" --chdir="$output"
    "$here/convert-library.sbatch" "$here" "$library" "$output" "$list" "$per_task")
gather=(sbatch --parsable "${options[@]}" --chdir="$output" --job-name=epub2pdf-failures
    --wrap="$(printf '%q' "$here/failures.sh") $(printf '%q' "$output")/results/*.jsonl > $(printf '%q' "$output/failures.json")")
echo "slurm.sh: $books books to convert in $tasks tasks" >&2

if [ "$dry_run" = 1 ]; then
    quoted=$(printf '%q ' "${array[@]}")
    printf '%s\n' "${quoted% }"
    quoted=$(printf '%q ' "${gather[@]:0:${#gather[@]}-1}" --dependency=afterany:JOB "${gather[-1]}")
    printf '%s\n' "${quoted% }"
    for ((task = 0; task < tasks; task++)); do
        echo "# task $task"
        SLURM_ARRAY_TASK_ID=$task EPUB2PDF_DRY_RUN=1 bash "$here/convert-library.sbatch" \
            "$here" "$library" "$output" "$list" "$per_task"
    done
    exit 0
fi
rm -f "$output"/results/task-*.jsonl  # the results of an earlier submission
job=$("${array[@]}")
job=${job%%;*}
"${gather[@]:0:${#gather[@]}-1}" --dependency="afterany:$job" "${gather[-1]}"
echo "slurm.sh: submitted job array $job; the failures go to $output/failures.json" >&2
