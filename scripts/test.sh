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
# Only the test programs that start threads are built and run here.
BUILD_TARGETS="${QUILLMERE_THREADED_TESTS:-pool_tests web_fetch_tests regex_thread_tests chapter_tests download_tests download_soak_tests app_thread_tests app_e2e_tests}" \
  "$root/scripts/build.sh" "$root/build-tsan" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUILLMERE_SANITIZE=thread
(cd "$root/build-tsan" && TSAN_OPTIONS=halt_on_error=1 ctest -j "$jobs" -L threads --output-on-failure --no-tests=error)

step "fuzz targets, ${fuzz_seconds}s each"
CC=clang CXX=clang++ cmake -S "$root" -B "$root/build-fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUILLMERE_FUZZ=ON -DQUILLMERE_GUI=OFF >/dev/null
fuzzers=$(ninja -C "$root/build-fuzz" -t targets all | grep -o '^fuzz_[a-z_]*: phony' | cut -d: -f1)
BUILD_TARGETS="$fuzzers" "$root/scripts/build.sh" "$root/build-fuzz"
shopt -s nullglob
for target in "$root"/build-fuzz/tests/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus="$root/build-fuzz/corpus/$name"; mkdir -p "$corpus"
  seeds="$root/tests/fuzz/seeds/${name#fuzz_}"
  [ -d "$seeds" ] || seeds=""
  log="$root/build-fuzz/$name.log"
  echo "-- $name"
  if ! "$target" -max_total_time="$fuzz_seconds" -artifact_prefix="$root/build-fuzz/$name-" "$corpus" $seeds >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "$name failed; the input that broke it is $root/build-fuzz/$name-crash-*"
    exit 1
  fi
  tail -n 1 "$log"
done

step "all tests passed"
