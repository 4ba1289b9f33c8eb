#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/) with clang++ under ASan and UBSan and runs each
# for a while over its seed corpus.
#   tools/fuzz.sh [SECONDS] [TARGET...]   default: 30 seconds, every target
# New inputs go to build/fuzz/corpus/<target>, logs to build/fuzz/logs/<target>.log and
# any failing input to build/fuzz/artifacts/. Exits non-zero when a target fails.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(fuzz_name_codec fuzz_name_order fuzz_mount_table fuzz_helper_requests
             fuzz_helper_answers fuzz_trash_info fuzz_type_ahead)
fi

export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/ccache}"
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
build=build/fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DDIRQUILL_BUILD_FUZZ=ON -DDIRQUILL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target dirquill_fuzz

mkdir -p "$build/logs" "$build/artifacts"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
failed=()
for target in "${targets[@]}"; do
    mkdir -p "$build/corpus/$target"
    # A cap on memory (in all, and per allocation) and on the time of one input: an
    # input that needs more is a fault.
    if "$build/fuzz/$target" -max_total_time="$seconds" -rss_limit_mb=2048 \
        -malloc_limit_mb=256 -timeout=10 -max_len=65536 -print_final_stats=1 \
        -artifact_prefix="$build/artifacts/$target-" \
        "$build/corpus/$target" "fuzz/corpus/$target" >"$build/logs/$target.log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$build/logs/$target.log")
        cov=$(grep -Eo 'cov: [0-9]+ ft: [0-9]+' "$build/logs/$target.log" | tail -n 1)
        echo "$target: ${runs:-?} runs in ${seconds} s, $cov"
    else
        echo "$target: FAILED, see $build/logs/$target.log" >&2
        tail -n 30 "$build/logs/$target.log" >&2
        failed+=("$target")
    fi
done
[ ${#failed[@]} -eq 0 ]
