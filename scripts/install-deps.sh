#!/usr/bin/env bash
# Installs the Debian packages Quillmere needs to build, run and test.
# Idempotent and non-interactive: apt runs only when something is missing.
set -euo pipefail

packages=(
  # toolchain
  g++ cmake ninja-build pkg-config git
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev
  python3 nodejs curl openssl nginx-light libssl-dev
  # core libraries
  libcurl4-openssl-dev libpcre2-dev
  # the windows: Qt 6, a CJK font, and an X server for real-window checks
  qt6-base-dev libgl-dev fonts-wqy-microhei xvfb xauth
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
