#!/usr/bin/env bash
# Starts a simulated programmer holding an EN25T80 whose contents persist in
# ~/.local/share/brimwick/EN25T80.bin, then the program; stopping the program
# unplugs the simulated programmer. Pass zh to start the Chinese build.
set -euo pipefail
cd "$(dirname "$0")/.."
bin="build/bin"
program="$bin/brimwick"
[ "${1:-}" != "zh" ] || program="$bin/brimwick-zh"

image_dir="${XDG_DATA_HOME:-$HOME/.local/share}/brimwick"
mkdir -p "$image_dir"
"$bin/brimwick-sim" --chip EN25T80 --image "$image_dir/EN25T80.bin" &
sim=$!
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null || true' EXIT
sleep 0.3
"$program"
