#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: unit and
# window tests, the fuzzers for a bounded time, and the Windows programs under
# Wine. Ends with ctest's summary.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh test
scripts/build.sh test
if [[ -x scripts/wine-prepare.sh && -d build-windows ]]; then
  scripts/wine-prepare.sh build/wine-prefix
  trap 'WINEPREFIX=$PWD/build/wine-prefix wineserver -k >/dev/null 2>&1 || true' EXIT
fi
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d /tmp/pw-runtime-XXXXXX)}
chmod 700 "$XDG_RUNTIME_DIR"
ctest --test-dir build -j "$(nproc)" --output-on-failure
