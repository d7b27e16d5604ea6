#!/usr/bin/env bash
# Installs what is missing, builds Quillmere and starts it. The program keeps
# its rule file and downloaded books in the directory it is started from.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
if [ -x "$root/build/src/app/quillmere" ]; then
  exec "$root/build/src/app/quillmere"
fi
echo "The windows are not built yet; the core built fine."
