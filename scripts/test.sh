#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: a plain build,
# an AddressSanitizer+UndefinedBehaviorSanitizer build, a ThreadSanitizer
# build of the threaded parts, and the fuzz targets for a short while each.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"

export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)
fuzz_seconds=${QUILLMERE_FUZZ_SECONDS:-30}

step() { printf '\n=== %s ===\n' "$*"; }

step "plain build"
"$root/scripts/build.sh" "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
(cd "$root/build" && ctest -j "$jobs" --output-on-failure)

step "AddressSanitizer + UndefinedBehaviorSanitizer"
"$root/scripts/build.sh" "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug \
  -DQUILLMERE_SANITIZE=address,undefined
(cd "$root/build-asan" && ASAN_OPTIONS=detect_leaks=1 ctest -j "$jobs" --output-on-failure)

step "ThreadSanitizer (threaded parts)"
"$root/scripts/build.sh" "$root/build-tsan" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUILLMERE_SANITIZE=thread
(cd "$root/build-tsan" && TSAN_OPTIONS=halt_on_error=1 ctest -j "$jobs" -L threads --output-on-failure --no-tests=ignore)

step "fuzz targets, ${fuzz_seconds}s each"
CC=clang CXX=clang++ "$root/scripts/build.sh" "$root/build-fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUILLMERE_FUZZ=ON -DQUILLMERE_GUI=OFF
shopt -s nullglob
for target in "$root"/build-fuzz/tests/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus="$root/build-fuzz/corpus/$name"; mkdir -p "$corpus"
  seeds="$root/tests/fuzz/seeds/${name#fuzz_}"
  [ -d "$seeds" ] || seeds=""
  echo "-- $name"
  "$target" -max_total_time="$fuzz_seconds" -print_final_stats=0 "$corpus" $seeds 2>&1 | tail -n 3
done

step "all tests passed"
