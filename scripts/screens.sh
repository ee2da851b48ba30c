#!/usr/bin/env bash
# Takes screenshots of the main window (each security state, at design size and
# enlarged, with a filled site list, and with the keyboard focus on several
# controls) and of the two adding dialogs under a virtual X display. The
# screenshot program belongs to the test build: build/ is configured as
# `scripts/build.sh test` configures it when it is not there yet, and only that
# program is built. Needs xvfb-run (`scripts/setup.sh test`).
#   scripts/screens.sh [OUTPUT_FOLDER]     (default: build/screens)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/screens}
if [[ ! -f build/build.ninja ]]; then
  launcher=()
  if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  fi
  cmake -S . -B build -G Ninja "${launcher[@]}" -DPW_WERROR=ON -DPW_BUILD_TESTS=ON -DPW_BUILD_BENCH=ON >/dev/null
fi
command -v xvfb-run >/dev/null || { echo "screens.sh: xvfb-run is missing (scripts/setup.sh test installs it)" >&2; exit 1; }
cmake --build build --target portwarden-screens >/dev/null
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d /tmp/pw-runtime-XXXXXX)}
chmod 700 "$XDG_RUNTIME_DIR"
xvfb-run -a -s "-screen 0 1600x1200x24 -dpi 96" build/tests/qtwindow/portwarden-screens "$out"
