#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (a separate build tree, build/fuzz) and runs each one for a while on a
# copy of its seed corpus. Exits non-zero as soon as a target finds a crash, a sanitizer error or a broken
# invariant; the input that did it is left in build/fuzz/artifacts/<target>/.
# Usage: scripts/fuzz.sh [seconds per target, default 20] [target ...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_text fuzz_tidy fuzz_search fuzz_tsv fuzz_cli_import fuzz_vcard fuzz_csv)
build=${TELVANE_FUZZ_BUILD:-build/fuzz}
# A fixed seed by default, so that a short run in the test command explores the same inputs every time; set
# TELVANE_FUZZ_SEED=0 for a fresh random seed on longer runs.
seed=${TELVANE_FUZZ_SEED:-1}
compiler=${TELVANE_FUZZ_CXX:-clang++-14}
command -v "$compiler" >/dev/null || { echo "fuzz.sh: $compiler is not installed (apt-get install clang-14 libclang-rt-14-dev)"; exit 1; }

cmake -S . -B "$build" -DCMAKE_CXX_COMPILER="$compiler" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTELVANE_FUZZ=ON -DTELVANE_TESTS=OFF -DTELVANE_BENCH=OFF -DTELVANE_WERROR=ON >/dev/null
cmake --build "$build" --target "${targets[@]}" -j"${TELVANE_JOBS:-2}"

# The sanitizer options for millions of short runs in one process: freed memory waits in a 16 MB quarantine instead
# of 256 MB, so that memory is reused while it is still in the cache instead of new pages being touched all the
# time (a use after free within an input, or within the last few hundred inputs, is still caught), and no stack is
# recorded for every allocation and free. A failing input is run once more with the default options, so that the
# log ends in a report with those stacks. Set ASAN_OPTIONS to use your own for both.
fuzz_asan=${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=1:quarantine_size_mb=16:malloc_context_size=0}
replay_asan=${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=1}
# libFuzzer runs an input a second time when it seems to leak, to look for the leak: only worth it when the sanitizer
# reports leaks (its default).
leaks=1
case ":$fuzz_asan:" in *:detect_leaks=0:*) leaks=0 ;; esac
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LANG=C.UTF-8 LC_ALL=C.UTF-8

# The longest input of each target. Every check costs time in proportion to the input, and nothing in the codec,
# the tidying or the TSV reader depends on a text being longer than a few lines of the widest field (32 bytes), so
# their inputs stop at 1 KB; the other targets keep 4 KB (the import, for tables of many rows).
max_len_of() {
    case $1 in
        fuzz_text | fuzz_tidy | fuzz_tsv) echo 1024 ;;
        *) echo 4096 ;;
    esac
}

status=0
for target in "${targets[@]}"; do
    corpus="$build/corpus/$target"
    artifacts="$build/artifacts/$target"
    mkdir -p "$corpus" "$artifacts"
    cp -n fuzz/corpus/"$target"/* "$corpus"/ 2>/dev/null || true
    log="$build/$target.log"
    stamp="$build/$target.started"
    touch "$stamp"
    echo "== $target: ${seconds}s"
    if ASAN_OPTIONS=$fuzz_asan "$build/fuzz/$target" "$corpus" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -seed="$seed" -max_len="$(max_len_of "$target")" -detect_leaks="$leaks" \
        -print_final_stats=1 -artifact_prefix="$artifacts/" >"$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
        echo "   clean: ${runs:-?} executions"
    else
        input=$(find "$artifacts" -type f -newer "$stamp" | head -1)
        if [ -n "$input" ]; then
            echo "== $input again, with full sanitizer reports" >>"$log"
            ASAN_OPTIONS=$replay_asan "$build/fuzz/$target" "$input" -timeout=10 -rss_limit_mb=2048 >>"$log" 2>&1 || true
        fi
        echo "   FAILED: see $log; the input is in $artifacts/"
        grep -E "ERROR|fuzz_[a-z_]+:|SUMMARY|runtime error" "$log" | head -5 || true
        status=1
    fi
    rm -f "$stamp"
done
exit $status
