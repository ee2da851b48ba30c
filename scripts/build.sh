#!/usr/bin/env bash
# Configures and builds with Ninja.
#   scripts/build.sh run    the programs only, in build-run/
#   scripts/build.sh test   programs, tests and benchmarks in build/ (warnings are
#                           errors), the fuzzers in build-fuzz/ (clang), and the
#                           Windows programs in build-windows/ (MinGW)
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:-run}
jobs=$(nproc)
# A compiler cache, where one is installed, makes rebuilds in several checkouts cheap.
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
export PW_CMAKE_LAUNCHER="${launcher[*]}"

if [[ $mode == run ]]; then
  cmake -S . -B build-run -G Ninja "${launcher[@]}" -DPW_BUILD_TESTS=OFF -DPW_BUILD_BENCH=OFF >/dev/null
  cmake --build build-run -j "$jobs" --target portwarden portwarden-cli
  exit
fi

cmake -S . -B build-fuzz -G Ninja "${launcher[@]}" -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPW_BUILD_FUZZERS=ON -DPW_BUILD_GUI=OFF -DPW_BUILD_TESTS=OFF -DPW_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz -j "$jobs"

windows_dir=
if [[ -x scripts/build-windows.sh ]]; then
  scripts/build-windows.sh
  windows_dir=$PWD/build-windows
fi

cmake -S . -B build -G Ninja "${launcher[@]}" -DPW_WERROR=ON -DPW_BUILD_TESTS=ON -DPW_BUILD_BENCH=ON \
  -DPW_FUZZ_BUILD_DIR="$PWD/build-fuzz" -DPW_WINE_BUILD_DIR="$windows_dir" >/dev/null
cmake --build build -j "$jobs"
