#!/usr/bin/env bash
# Takes screenshots of the main window (each security state, at design size and
# enlarged, with a filled site list) and of the two adding dialogs under a
# virtual X display.
#   scripts/screens.sh [OUTPUT_FOLDER]     (default: build/screens)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/screens}
cmake --build build --target portwarden-screens >/dev/null
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d /tmp/pw-runtime-XXXXXX)}
chmod 700 "$XDG_RUNTIME_DIR"
xvfb-run -a -s "-screen 0 1600x1200x24 -dpi 96" build/tests/ui/portwarden-screens "$out"
