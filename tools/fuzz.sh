#!/usr/bin/env bash
# Builds the libFuzzer targets (tests/fuzz/<Name>Fuzz.cpp -> fuzz_<name>) with clang,
# ASan and UBSan in build-fuzz, and runs each from its seed corpus for SECONDS
# (default 60). Fails on the first crash, leak, UB report, out-of-memory or input
# that runs longer than 10 s; the input is kept in build-fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
build=build-fuzz
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" \
    -DBRIMWICK_FUZZ=ON -DBRIMWICK_TESTS=OFF -DBRIMWICK_BENCHMARKS=OFF >/dev/null

targets=()
for source in tests/fuzz/*Fuzz.cpp; do
    name=$(basename "$source" Fuzz.cpp)
    targets+=("${name,,}")
done
cmake --build "$build" -j"$(nproc)" --target "${targets[@]/#/fuzz_}"

mkdir -p "$build/artifacts"
for name in "${targets[@]}"; do
    echo "== fuzz_$name: $seconds s"
    found="$build/corpus/$name" # inputs libFuzzer finds; the seeds stay as they are
    mkdir -p "$found"
    seeds=()
    [ -d "tests/fuzz/corpus/$name" ] && seeds=("tests/fuzz/corpus/$name")
    if ! ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
        UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        "$build/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$build/artifacts/$name-" \
        "$found" "${seeds[@]}" 2>"$build/fuzz_$name.log"; then
        tail -n 60 "$build/fuzz_$name.log"
        echo "fuzz_$name failed; see $build/fuzz_$name.log and $build/artifacts/" >&2
        exit 1
    fi
    grep -E '^(#[0-9]+.*DONE|stat::number_of_executed_units)' "$build/fuzz_$name.log" || true
done
