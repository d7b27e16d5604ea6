#!/usr/bin/env bash
# scripts/build.sh DIR [cmake options...]: configure (once) and build one tree.
set -euo pipefail
dir=$1; shift
cmake -S "$(dirname "$0")/.." -B "$dir" -G Ninja "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
