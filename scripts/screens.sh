#!/usr/bin/env bash
# Takes the screenshots in docs/screenshots: both windows on a virtual X
# server, started in a scratch directory so the rule file lands there.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
cmake --build "$build" --target quillmere_screens
out="$root/docs/screenshots"
mkdir -p "$out"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
xvfb-run -a -s "-screen 0 1100x560x24" "$build/src/app/quillmere_screens" "$out"
echo "saved in $out"
