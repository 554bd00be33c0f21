#!/usr/bin/env bash
# Where make test's time goes: each phase timed as it runs, and one table at the end.
#
#   phases.sh run FILE NAME CMD...   runs CMD, appends "NAME<TAB>seconds<TAB>status" to FILE,
#                                    and exits with CMD's status
#   phases.sh summary FILE RIG JUNIT prints the phases, then the integration suites of each
#                                    build (wall, processor time, Windows programs started),
#                                    from the cost files the suites leave under RIG and
#                                    CTest's JUnit report
set -uo pipefail

case ${1:-} in
run)
    file=$2 name=$3
    shift 3
    start=$(date +%s)
    "$@"
    rc=$?
    printf '%s\t%s\t%s\n' "$name" "$(($(date +%s) - start))" "$rc" >>"$file"
    exit "$rc"
    ;;
summary)
    file=$2 rig=$3 junit=$4
    echo
    echo "make test: where the time went"
    [[ -f $file ]] && awk -F'\t' '{ t += $2; printf "  %-34s %6d s%s\n", $1, $2, ($3 == 0 ? "" : "  (failed)") }
        END { printf "  %-34s %6d s  (%d min %d s)\n", "all", t, t / 60, t % 60 }' "$file"
    if [[ -f $junit ]]; then
        # Each test's own time, summed by kind; tests run two at a time, so the sums can
        # exceed the phase's wall time.
        echo "  CTest, each kind's tests added up (two run at a time):"
        grep -o '<testcase name="[^"]*"[^>]*time="[0-9.]*"' "$junit" |
            sed -E 's/<testcase name="([^"]*)".*time="([0-9.]*)"/\1 \2/' |
            awk '{ split($1, p, "."); k = p[1]; if (k == "wine32" && $1 == "wine32.prefix") k = "wine32.prefix (the guest)";
                   else if (k == "wine32" || k == "wine64") k = k " suites"; s[k] += $2; n[k]++ }
                 END { for (k in s) printf "    %-32s %6.0f s in %d tests\n", k, s[k], n[k] }' | sort
    fi
    for arch in x86 x64; do
        costs=("$rig/$arch"/logs/*.cost)
        [[ -f ${costs[0]} ]] || continue
        where=natively
        [[ -d $rig/$arch/vm ]] && where="in the guest"
        echo "  Integration suites, $arch build ($where): wall s, cpu s, Windows programs started"
        cat "${costs[@]}" | sort -t$'\t' -k2,2nr |
            awk -F'\t' '{ printf "    %-14s %6d %6d %5d%s\n", $1, $2, $3, $5, ($4 == "suite" ? "" : "  (cpu: " $4 ")") }'
    done
    # The slowest cases of all, so that a slow one shows before it is averaged away.
    shopt -s nullglob
    cases=("$rig"/{x86,x64}/logs/*.cases)
    shopt -u nullglob
    if ((${#cases[@]})); then
        echo "  The 12 slowest integration cases: wall s, Windows programs started, build, suite: case"
        for f in "${cases[@]}"; do
            arch=${f#"$rig"/}
            arch=${arch%%/*}
            suite=$(basename "$f" .cases)
            awk -F'\t' -v a="$arch" -v s="${suite#suite-}" '{ printf "%s\t%s\t%s\t%s\t%s\n", $1, $2, a, s, $3 }' "$f"
        done | sort -t$'\t' -k1,1nr | awk 'NR <= 12' |
            awk -F'\t' '{ c = $5; if (length(c) > 70) c = substr(c, 1, 67) "..."; printf "    %6.0f %4d  %s %-10s %s\n", $1, $2, $3, $4 ":", c }'
    fi
    ;;
*)
    echo "usage: phases.sh run FILE NAME CMD... | summary FILE RIG JUNIT" >&2
    exit 2
    ;;
esac
