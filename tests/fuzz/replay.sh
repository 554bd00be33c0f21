#!/usr/bin/env bash
# CTest's run of one harness: a fixed number of inputs from a fixed seed, starting from
# the harness's corpus, so that the same build gives the same run. New inputs go into a
# scratch folder, never into the corpus in the source tree.
#   replay.sh HARNESS CORPUS RUNS
set -euo pipefail
harness=$1 corpus=$2 runs=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
exec "$harness" -runs="$runs" -seed=1 -max_len=4096 -timeout=10 -print_final_stats=1 "$scratch" "$corpus"
