#!/usr/bin/env bash
# Builds Brimwick+ and runs every test. With an argument (address or thread) the
# build uses that sanitizer, in its own build folder.
set -euo pipefail
cd "$(dirname "$0")/.."

sanitize="${1:-}"
build="build"
[ -z "$sanitize" ] || build="build-$sanitize"

cmake -S . -B "$build" -G Ninja -DBRIMWICK_SANITIZE="$sanitize" \
    -DBRIMWICK_BENCHMARKS="$([ -z "$sanitize" ] && echo ON || echo OFF)" >/dev/null
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" --timeout 600
