#!/usr/bin/env bash
# One shard of an obra-cli batch run as a task of a Slurm job array:
#
#   sbatch --array=1-N scripts/obra-slurm.sh DIR [NAME...] [obra-cli batch options]
#
# Task I of N processes the entries at list positions p with (p - 1) mod N = I - 1,
# so the N tasks together process the list once, and "Number" names count positions
# in the whole list. All tasks may write into DIR and its Activation_Data at once:
# every file is written to a temporary name and renamed. The array must be 1-N.
# OBRA_CLI names the obra-cli to run (default: obra-cli on PATH). The engine uses
# the task's CPUs (--cpus-per-task) unless --threads is given.
#SBATCH --job-name=obra-batch
#SBATCH --ntasks=1
set -euo pipefail

: "${SLURM_ARRAY_TASK_ID:?submit with sbatch --array=1-N}"
: "${SLURM_ARRAY_TASK_COUNT:?submit with sbatch --array=1-N}"
[ $# -ge 1 ] || { echo "usage: sbatch --array=1-N $0 DIR [NAME...] [options]" >&2; exit 2; }

threads=()
[ -n "${SLURM_CPUS_PER_TASK:-}" ] && threads=(--threads "$SLURM_CPUS_PER_TASK")
exec "${OBRA_CLI:-obra-cli}" batch "${threads[@]}" "$@" \
  --shard "$SLURM_ARRAY_TASK_ID/$SLURM_ARRAY_TASK_COUNT"
