#!/usr/bin/env bash
# Makes the Wine prefix that the Windows tests run in and starts its server and
# desktop with their output sent away: a server or desktop that a test started
# would inherit ctest's output pipe and keep ctest waiting for ever. When the
# Windows build is there, `zone-probe.exe hold` keeps the desktop up for the
# run (Wine lets it go after a minute unused and takes ten seconds to restart
# it for the next program that uses COM).
#   scripts/wine-prepare.sh [PREFIX]              a fresh prefix (default build/wine-prefix)
#   scripts/wine-prepare.sh --if-needed [PREFIX]  the same, unless PREFIX is ready
# Stop the server and everything in the prefix afterwards with:
#   WINEPREFIX=PREFIX wineserver -k
set -euo pipefail
cd "$(dirname "$0")/.."
if_needed=false
if [[ ${1:-} == --if-needed ]]; then
  if_needed=true
  shift
fi
prefix=$(realpath -m "${1:-build/wine-prefix}")
export WINEPREFIX=$prefix WINEDEBUG=-all
ready=$prefix/.portwarden-ready
holder=build-windows/bin/zone-probe.exe

quiet() { "$@" </dev/null >/dev/null 2>&1; }

hold() {
  local pidfile=$prefix/.portwarden-holder
  if [[ -f $pidfile ]] && kill -0 "$(cat "$pidfile")" 2>/dev/null; then return; fi
  if [[ -f $holder ]]; then
    wine "$holder" hold </dev/null >/dev/null 2>&1 &
    echo $! >"$pidfile"
  fi
}

if $if_needed && [[ -f $ready ]]; then
  quiet wineserver -p || true  # refused when the server is up already
  hold
  exit 0
fi
if [[ -d $prefix ]]; then
  quiet wineserver -k || true  # this prefix's server and programs only
  rm -rf "$prefix"
fi
mkdir -p "$prefix"
quiet wineserver -p
quiet wineboot -i
touch "$ready"
hold
