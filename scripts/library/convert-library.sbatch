#!/usr/bin/env bash
#SBATCH --job-name=epub2pdf
#SBATCH --cpus-per-task=2
#SBATCH --mem=2G
#SBATCH --time=02:00:00
#SBATCH --output=epub2pdf-%A_%a.out
# One task of a Slurm job array that converts a library (slurm.sh submits it):
#   convert-library.sbatch SCRIPTS LIBRARY OUTPUT LIST PER_TASK
# Task N converts the books on lines N*PER_TASK+1 to (N+1)*PER_TASK of LIST (paths inside LIBRARY), one
# after another, through SCRIPTS/convert-book.sh, and appends their JSON lines to
# OUTPUT/results/task-N.jsonl. With EPUB2PDF_DRY_RUN=1 it prints the commands instead.
set -uo pipefail
if [ $# -ne 5 ] || [ -z "${SLURM_ARRAY_TASK_ID:-}" ]; then
    echo "usage: SLURM_ARRAY_TASK_ID=N convert-library.sbatch SCRIPTS LIBRARY OUTPUT LIST PER_TASK" >&2
    exit 2
fi
scripts=$1 library=$2 output=$3 list=$4 per_task=$5
first=$((SLURM_ARRAY_TASK_ID * per_task + 1))
last=$((first + per_task - 1))
# The JSON lines go to the task's results file, or with a dry run the commands to standard output itself
# (not reopened through /dev/stdout, which would write over what a file there holds already).
if [ "${EPUB2PDF_DRY_RUN:-0}" = 1 ]; then
    exec 3>&1
else
    mkdir -p "$output/results"
    exec 3>>"$output/results/task-$SLURM_ARRAY_TASK_ID.jsonl"
fi
status=0
while IFS= read -r book; do
    "$scripts/convert-book.sh" "$library" "$output" "$book" >&3 || status=1
done < <(sed -n "${first},${last}p" "$list")
exit "$status"
