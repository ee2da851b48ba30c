#!/usr/bin/env bash
# Makes the Wine prefix that the Windows tests run in and starts its server and
# desktop with their output sent away: a server or desktop that a test started
# would inherit ctest's output pipe and keep ctest waiting for ever.
#   scripts/wine-prepare.sh [PREFIX]              a fresh prefix (default build/wine-prefix)
#   scripts/wine-prepare.sh --if-needed [PREFIX]  the same, unless PREFIX is ready
# Stop the server afterwards with: WINEPREFIX=PREFIX wineserver -k
set -euo pipefail
cd "$(dirname "$0")/.."
if_needed=false
if [[ ${1:-} == --if-needed ]]; then
  if_needed=true
  shift
fi
prefix=$(realpath -m "${1:-build/wine-prefix}")
export WINEPREFIX=$prefix WINEDEBUG=-all

quiet() { "$@" </dev/null >/dev/null 2>&1; }

ready=$prefix/.portwarden-ready
if $if_needed && [[ -f $ready ]]; then
  quiet wineserver -p || true  # refused when the server is up already
  exit 0
fi
if [[ -d $prefix ]]; then
  quiet wineserver -k || true  # this prefix's server only
  rm -rf "$prefix"
fi
mkdir -p "$prefix"
quiet wineserver -p
quiet wineboot -i
touch "$ready"
