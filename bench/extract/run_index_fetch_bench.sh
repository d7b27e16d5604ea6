#!/usr/bin/env bash
# From the fetch button's press to the filled table, for an index page of
# 10,000 chapters (about 1 MB, GBK) served by Node on 127.0.0.1, with the
# program's windows off screen.
#
#   bench/extract/run_index_fetch_bench.sh [build-dir] [--rounds N] [--chapters N]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
dir="$root/build-bench-app"
if [[ $# -gt 0 && $1 != --* ]]; then dir=$1; shift; fi
rounds=5 chapters=10000
while [[ $# -gt 0 ]]; do
  case $1 in
    --rounds) rounds=$2; shift 2 ;;
    --chapters) chapters=$2; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done

cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLMERE_BENCH=ON -DQUILLMERE_TESTS=OFF >/dev/null
cmake --build "$dir" --target index_fetch_bench -j2 >/dev/null

tmp=$(mktemp -d "${TMPDIR:-/tmp}/quillmere-index-bench-XXXXXX")
server=
cleanup() {
  if [[ -n $server ]]; then kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; fi
  rm -rf "$tmp"
}
trap cleanup EXIT

python3 "$root/bench/common/make_site.py" "$tmp/site" --chapters "$chapters" --index-only
node "$root/bench/common/serve_site.js" "$tmp/site" >"$tmp/port" &
server=$!
for _ in $(seq 100); do grep -q '^port' "$tmp/port" && break; sleep 0.1; done
port=$(awk '/^port/ {print $2}' "$tmp/port")
[[ -n $port ]] || { echo "the site did not start" >&2; exit 1; }
"$dir/bench/extract/index_fetch_bench" "http://127.0.0.1:$port/book/1/index.html" "$chapters" --rounds "$rounds" 2>/dev/null
