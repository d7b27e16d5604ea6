#!/usr/bin/env bash
# The real download run against curl: a local site of 2,000 chapters of
# about 10 KB, served by Node with 0 ms and with 20 ms added per page.
# Prints chapters per second of both, their ratio and both peak RSS figures.
#
#   bench/download/run_download_bench.sh [build-dir] [--rounds N] [--chapters N] [--files-in DIR]
#
# --files-in: where the chapter files of both sides go (default: the
# temporary directory; /dev/shm takes the disk's fsync out of the figures).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
dir="$root/build-bench-app"
if [[ $# -gt 0 && $1 != --* ]]; then dir=$1; shift; fi
rounds=3 chapters=2000 filesIn=${TMPDIR:-/tmp}
while [[ $# -gt 0 ]]; do
  case $1 in
    --rounds) rounds=$2; shift 2 ;;
    --chapters) chapters=$2; shift 2 ;;
    --files-in) filesIn=$2; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done

cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLMERE_BENCH=ON -DQUILLMERE_TESTS=OFF >/dev/null
cmake --build "$dir" --target download_bench -j2 >/dev/null
bench="$dir/bench/download/download_bench"

tmp=$(mktemp -d "${TMPDIR:-/tmp}/quillmere-download-bench-XXXXXX")
server=
cleanup() {
  if [[ -n $server ]]; then kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; fi
  rm -rf "$tmp"
}
trap cleanup EXIT

python3 "$root/bench/common/make_site.py" "$tmp/site" --chapters "$chapters" --chapter-bytes 10000
echo "site: $chapters chapters of $(stat -c %s "$tmp/site/book/1/1.html") bytes, files in $filesIn, $rounds rounds"

for latency in 0 20; do
  node "$root/bench/common/serve_site.js" "$tmp/site" --latency "$latency" >"$tmp/port" &
  server=$!
  for _ in $(seq 100); do grep -q '^port' "$tmp/port" && break; sleep 0.1; done
  port=$(awk '/^port/ {print $2}' "$tmp/port")
  [[ -n $port ]] || { echo "the site did not start" >&2; exit 1; }
  base="http://127.0.0.1:$port"
  awk -v b="$base" -v o="$filesIn/quillmere-curl-out" \
    '{n++; print "url = \"" b $0 "\"\noutput = \"" o "/" n ".html\""}' "$tmp/site/urls.txt" >"$tmp/curl.cfg"

  for round in $(seq "$rounds"); do
    rm -rf "$filesIn/quillmere-curl-out"; mkdir -p "$filesIn/quillmere-curl-out"
    /usr/bin/time -f "%e %M" -o "$tmp/curl.time" \
      curl --silent --no-progress-meter --show-error --fail --parallel --parallel-max 10 --config "$tmp/curl.cfg"
    [[ $(ls "$filesIn/quillmere-curl-out" | wc -l) -eq $chapters ]] || { echo "curl missed pages" >&2; exit 1; }
    rm -rf "$filesIn/quillmere-curl-out"

    work=$(mktemp -d "$filesIn/quillmere-run-XXXXXX")
    "$bench" "$base/book/1/index.html" "$chapters" --work "$work" >"$tmp/run.out" 2>"$tmp/run.err" ||
      { cat "$tmp/run.out" "$tmp/run.err" >&2; exit 1; }
    rm -rf "$work"
    read -r curlWall curlRss <"$tmp/curl.time"
    echo "$latency $round $curlWall $curlRss $(grep '^RESULT' "$tmp/run.out" | cut -d' ' -f2-)" >>"$tmp/figures"
    if [[ $round -eq 1 ]]; then
      echo "--- latency $latency ms, round 1 of the program:"
      grep -v '^RESULT' "$tmp/run.out"
    fi
  done
  kill "$server"; wait "$server" 2>/dev/null || true; server=
done

python3 - "$tmp/figures" "$chapters" <<'EOF'
import statistics, sys
rows = {}
for line in open(sys.argv[1]):
    latency, _round, wall, rss, *pairs = line.split()
    figures = dict(p.split("=") for p in pairs)
    rows.setdefault(int(latency), []).append((float(wall), int(rss), figures))
chapters = int(sys.argv[2])
print()
print("medians over the rounds (chapters per second):")
print(f"{'latency':>8} {'curl':>8} {'program':>8} {'ratio':>6} {'to return':>10} {'ratio':>6}"
      f" {'GUI CPU s':>9} {'curl RSS':>9} {'prog RSS':>9}")
for latency, runs in sorted(rows.items()):
    curl = statistics.median(chapters / w for w, _, _ in runs)
    prog = statistics.median(float(f["chapters_per_s"]) for _, _, f in runs)
    whole = statistics.median(float(f["handler_chapters_per_s"]) for _, _, f in runs)
    gui = statistics.median(float(f["gui_cpu_s"]) for _, _, f in runs)
    curlRss = max(r for _, r, _ in runs)
    progRss = max(int(f["peak_rss_kb"]) for _, _, f in runs)
    print(f"{latency:>6}ms {curl:>8.0f} {prog:>8.0f} {prog / curl:>6.2f} {whole:>10.0f} {whole / curl:>6.2f}"
          f" {gui:>9.2f} {curlRss / 1024:>7.1f}MB {progRss / 1024:>7.1f}MB")
    if latency > 0:
        limit = 10 * 1000 / latency
        print(f"{'':>8} limit of 10 connections: {limit:.0f}/s; curl reaches {100 * curl / limit:.0f}%,"
              f" the program {100 * prog / limit:.0f}% ({100 * whole / limit:.0f}% to the handler's return)")
        if curl < 0.95 * limit:
            print(f"{'':>8} note: curl is below 95% of the limit; the site or the machine is part of the figure")
print("'program' counts to the last chapter saved; 'to return' adds the wait's one-second polling,")
print("the merge of the book and the notice, as the user sees it.")
EOF
