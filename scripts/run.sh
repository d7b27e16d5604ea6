#!/usr/bin/env bash
# Installs what is missing, builds Quillmere, starts the local sample book
# site in the background and the program in the foreground. The program keeps
# its rule file and the downloaded books in its working directory: run/ in
# this checkout (or QUILLMERE_HOME).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo

home=${QUILLMERE_HOME:-$root/run}
mkdir -p "$home"
site_log="$home/sample-site.txt"
python3 "$root/tools/sample-site/sample_site.py" serve --port 0 >"$site_log" 2>&1 &
site=$!
trap 'kill "$site" 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -s "$site_log" ] && grep -q Marrowdene "$site_log" && break; sleep 0.1; done
echo "Sample books are being served. Paste one of these into 章节列表网址:"
sed 's/^/  /' "$site_log"
echo "(pick the rule of the same name in 规则设定>>>). Books are saved in $home"

cd "$home"
"$root/build/src/app/quillmere"
