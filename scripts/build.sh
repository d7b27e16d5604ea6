#!/usr/bin/env bash
# scripts/build.sh DIR [cmake options...]: configure (once) and build one tree.
# BUILD_TARGETS="a b" builds only those targets.
set -euo pipefail
dir=$1; shift
cmake -S "$(dirname "$0")/.." -B "$dir" -G Ninja "$@" >/dev/null
targets=()
for t in ${BUILD_TARGETS:-}; do targets+=(--target "$t"); done
cmake --build "$dir" -j "$(nproc)" "${targets[@]}"
