#!/usr/bin/env bash
# Builds and runs the fetch benchmark: FetchPage on ten threads against
# curl --parallel --parallel-max 10, both reading 1,000 pre-generated pages
# from an nginx started on 127.0.0.1 for the run and stopped after it.
#   bench/web/run_fetch_bench.sh [build-dir] [fetch_bench options...]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
dir=${1:-"$root/build-bench"}
shift || true
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLMERE_BENCH=ON \
  -DQUILLMERE_TESTS=OFF -DQUILLMERE_GUI=OFF >/dev/null
cmake --build "$dir" --target fetch_bench -j2
exec "$dir/bench/web/fetch_bench" "$@"
