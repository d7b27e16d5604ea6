#!/usr/bin/env bash
# Takes the screenshots in docs/screenshots: a first book downloaded from the
# local sample site on a virtual X server, in a scratch directory so the rule
# file and the book land there.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
cmake --build "$build" --target quillmere_screens
out="$root/docs/screenshots"
mkdir -p "$out"
scratch=$(mktemp -d)
python3 "$root/tools/sample-site/sample_site.py" serve --port 0 >"$scratch/site.txt" &
site=$!
trap 'kill $site; rm -rf "$scratch"' EXIT
for _ in $(seq 50); do grep -q Marrowdene "$scratch/site.txt" 2>/dev/null && break; sleep 0.1; done
address=$(grep Vellowick "$scratch/site.txt" | sed 's/.*: //')
cd "$scratch"
xvfb-run -a -s "-screen 0 1100x560x24" "$build/src/app/quillmere_screens" "$out" "$address"
ls "$scratch"
echo "saved in $out"
