#!/usr/bin/env bash
# make fuzz: runs every harness for FUZZ_SECONDS (default 60) each, one after another,
# on a working corpus in $FUZZ_DIR/work/NAME that starts from tests/fuzz/corpus/NAME and
# grows from run to run. Prints per harness the inputs run, executions per second, the
# coverage (edges and features) and the corpus size, and the crashes found, which are
# kept in $FUZZ_DIR/artifacts. Keeps a running total of the time each harness has been
# fuzzed in $FUZZ_DIR/fuzzed-seconds.txt.
#   FUZZ_SECONDS=N FUZZ_ONLY=NAME tests/fuzz/run.sh FUZZ_DIR
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
dir=$1
seconds=${FUZZ_SECONDS:-60}
total_file=$dir/fuzzed-seconds.txt
mkdir -p "$dir/work" "$dir/artifacts" "$dir/logs"
touch "$total_file"

printf '%-18s %10s %10s %7s %7s %8s %8s %s\n' harness inputs exec/s cov ft corpus total-s crashes
status=0
for exe in "$dir"/fuzz_*; do
    [[ -x $exe ]] || continue
    name=${exe##*/fuzz_}
    [[ -n ${FUZZ_ONLY:-} && $name != "$FUZZ_ONLY" ]] && continue
    work=$dir/work/$name
    mkdir -p "$work"
    log=$dir/logs/$name.log
    before=$(ls "$dir/artifacts" | grep -c "^$name-" || true)
    "$exe" -max_total_time="$seconds" -max_len=4096 -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$dir/artifacts/$name-" "$work" "$here/corpus/$name" >"$log" 2>&1
    rc=$?
    after=$(ls "$dir/artifacts" | grep -c "^$name-" || true)
    prev=$(awk -v n="$name" '$1 == n { print $2 }' "$total_file")
    total=$(( ${prev:-0} + seconds ))
    { grep -v "^$name " "$total_file"; echo "$name $total"; } >"$total_file.new" && mv "$total_file.new" "$total_file"
    last=$(grep -E '^#[0-9]+' "$log" | tail -1)
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    eps=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
    ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
    corp=$(sed -n 's/.* corp: \([0-9]*\)\/.*/\1/p' <<<"$last")
    printf '%-18s %10s %10s %7s %7s %8s %8s %s\n' "$name" "${runs:--}" "${eps:--}" "${cov:--}" "${ft:--}" \
        "${corp:--}" "$total" "$((after - before))"
    if ((rc != 0)); then
        status=1
        echo "  $name stopped with a finding (exit $rc): see $log and $dir/artifacts/$name-*"
    fi
done
exit $status
