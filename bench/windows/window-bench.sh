#!/usr/bin/env bash
# The native window with 20,000 listings under Wine on a virtual display, the
# wineserver warm: the time from starting portwarden.exe to its window shown
# (outside, three starts), and window_bench.exe's figures from inside (window
# made, started up and painted; the site list's rebuild). Puts the listings in
# the registry of the GUI test prefix and takes them out again afterwards.
#   bench/windows/window-bench.sh [BUILD-WINDOWS [PREFIX [LISTINGS]]]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
bin=$(realpath "${1:-$root/build-windows}")/bin
prefix=${2:-$root/build/wine-gui-prefix}
count=${3:-20000}
source "$root/tests/windows/gui/wine-gui.sh"
wg_start "$prefix"
# From a folder of its own: a first start writes its log beside the program.
mkdir -p "$WG_SCRATCH/program"
cp "$bin"/{portwarden.exe,portwarden-cli.exe,window_bench.exe} "$WG_SCRATCH/program/"
bin=$WG_SCRATCH/program
domains='HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Internet Settings\ZoneMap\Domains'
cli() { wine "$bin/portwarden-cli.exe" "$@" </dev/null 2>>"$WG_SCRATCH/wine.log" | tr -d '\r'; }
cleanup() { wg_run reg delete "${domains/HKEY_CURRENT_USER/HKCU}" /f || true; wg_run reg add "${domains/HKEY_CURRENT_USER/HKCU}" /f || true; }
cleanup

# Listings over all three zones, a third with a subdomain.
{
  printf 'REGEDIT4\r\n\r\n'
  for ((i = 0; i < count; i++)); do
    zone=$((2 + i % 3))
    if ((i % 3 == 0)); then
      printf '[%s\\site%05d.example\\www]\r\n"*"=dword:%08x\r\n\r\n' "$domains" "$i" "$zone"
    else
      printf '[%s\\site%05d.example]\r\n"*"=dword:%08x\r\n\r\n' "$domains" "$i" "$zone"
    fi
  done
} >"$WG_SCRATCH/listings.reg"
wine regedit /S "$(winepath -w "$WG_SCRATCH/listings.reg" 2>/dev/null)" >>"$WG_SCRATCH/wine.log" 2>&1
cli secure >/dev/null
listed=$(($(cli list | wc -l) - 1))
echo "listings in the registry: $listed"

shown() { xdotool search --onlyvisible --name '^PORTWARDEN - Script' >/dev/null 2>&1; }
for run in 1 2 3; do
  start=$(date +%s%N)
  wg_launch "$bin/portwarden.exe"
  until shown; do sleep 0.01; done
  echo "start to window shown, run $run: $((($(date +%s%N) - start) / 1000000)) ms"
  kill "$WG_LAST_PID"
  wg_until 30 "the window to close" eval '! shown'
done
wine "$bin/window_bench.exe" </dev/null 2>>"$WG_SCRATCH/wine.log" | tr -d '\r'
cleanup
[[ ! -f $bin/st6unst.log ]] || cli register-button --remove >/dev/null
