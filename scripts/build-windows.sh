#!/usr/bin/env bash
# Cross-builds the Windows programs and their tests with MinGW-w64 into
# build-windows/ (everything lands in build-windows/bin, with the icons and the
# help), and the installer, build-windows/Portwarden-VERSION-setup.exe (nsis).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-windows -G Ninja ${PW_CMAKE_LAUNCHER:-} -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPW_WERROR=ON -DPW_BUILD_GUI=OFF -DPW_BUILD_BENCH=OFF \
  -DPW_BUILD_TESTS=ON >/dev/null
cmake --build build-windows -j "$(nproc)"
