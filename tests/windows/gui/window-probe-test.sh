#!/usr/bin/env bash
# A window program built as the window program will be, under Wine at 96 and
# at 144 DPI: the manifest makes it per-monitor DPI aware with common controls
# 6, its window takes its design size through the DPI, a mouse click and a key
# reach its button (read back from the registry), the caption's close button
# closes it, and a page it prints on the default printer arrives as a PDF with
# its text. Leaves a screenshot at each DPI in SHOTS.
#   window-probe-test.sh PROBE.EXE PREFIX SHOTS
set -euo pipefail
source "$(dirname "$0")/wine-gui.sh"
wg_private_mounts "$0" "$@"
probe=$(realpath "$1")
shots=$3
[[ -f $probe ]] || wg_fail "there is no $1: scripts/build-windows.sh makes it"
mkdir -p "$shots"
wg_start "$2" --print
presses='HKCU\Software\Portwarden tests\window probe'
wg_run reg delete 'HKCU\Software\Portwarden tests' /f || true

# The window at DPI: its title, its size, a click on "Press" and a screenshot.
# Sets border, top (the client area's offset in the window) and id.
probe_window() {
  local dpi=$1
  wg_launch "$probe"
  id=$(wg_wait_window '^Portwarden probe: ')
  wg_wait_title "$id" "^Portwarden probe: $dpi dpi, per-monitor \\(PerMonitorV2, PerMonitor\\), controls 6(,|$)"
  wg_geometry "$id"
  # The client area is 320 by 160 at 96 DPI, in a frame as wide left, right and below.
  local client_width=$((320 * dpi / 96)) client_height=$((160 * dpi / 96))
  border=$(((WG_WIDTH - client_width) / 2))
  top=$((WG_HEIGHT - client_height - border))
  ((border >= 0 && border <= 16 && WG_WIDTH - client_width == 2 * border && top > border)) ||
    wg_fail "at $dpi DPI the window is ${WG_WIDTH}x${WG_HEIGHT}, not a frame around ${client_width}x${client_height}"
  wg_screenshot "$shots/window-probe-${dpi}dpi.png" "$id"
  # "Press" lies at 24,24 and is 120 by 36 at 96 DPI.
  wg_click "$id" $((border + 84 * dpi / 96)) $((top + 42 * dpi / 96))
  wg_wait_reg "$presses" Presses 0x1
}

close_window() {
  # The close button is the caption's last, at its right end.
  wg_click "$id" $((WG_WIDTH - border - (top - border) / 2)) $((border + (top - border) / 2))
  wg_wait_window_gone "$id"
  wg_until "$WG_TIMEOUT" "the probe to end" eval '! kill -0 $WG_LAST_PID 2>/dev/null'
}

probe_window 96
# The click left the focus on the button: the space bar presses it again.
wg_key space
wg_wait_title "$id" 'pressed 2$'
close_window

wg_run "$probe" print 'Portwarden prints: Grüße' || true
pdf=$(wg_wait_pdfs 1 | head -n 1)
text=$(pdftotext "$pdf" - 2>/dev/null) || wg_fail "pdftotext cannot read $pdf"
[[ $text == *'Portwarden prints: Grüße'* ]] || wg_fail "the printed page reads '$text'"

wg_set_dpi 144
probe_window 144
close_window
echo "window probe: 96 and 144 dpi, input, closing and printing as expected; screenshots in $shots"
