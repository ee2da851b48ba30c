#!/usr/bin/env bash
# Installs what is missing, builds the programs and starts the window program on
# the default store (or the one named by PORTWARDEN_STORE). Arguments are passed
# on to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh run
scripts/build.sh run
exec build-run/app/portwarden "$@"
