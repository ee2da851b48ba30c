#!/usr/bin/env bash
# Runs Windows window programs under Wine on a virtual X display of their own
# and drives them with real X input (xdotool). Tests source this file:
#
#   source tests/windows/gui/wine-gui.sh
#   wg_private_mounts "$0" "$@"      # only for printing: re-runs the test in a mount namespace
#   wg_start PREFIX [--dpi 144] [--print]
#   wg_launch C:/path/program.exe ARGS...; id=$(wg_wait_window '^Title$')
#   wg_click "$id" X Y; wg_type TEXT; wg_wait_reg 'HKCU\Key' Value 0x1
#   wg_screenshot out.png "$id"
#
# wg_start makes PREFIX once (kept for later runs), copies the fonts of the
# package fonts-wine into it (Marlett draws the caption buttons, Tahoma is the
# dialogs' font), and for the session: Xvfb with -noreset (it would reset when
# its last client left), Wine's X11 driver unmanaged (no window manager: Wine
# draws the caption and closes windows at once), the DPI asked for, a scratch
# HOME, no Mono, Gecko or menu builder, and a warm wineserver; with --print a
# cupsd of the session's own (root only) with a PDF queue as the default
# printer, Wine's server started after it so that everything sees it. Every
# wait is on evidence with a deadline: a window, a title, a registry value, a
# file. The session ends with the test (trap), taking down what it started.
#
#   tests/windows/gui/wine-gui.sh prepare PREFIX   makes PREFIX unless it is ready
set -euo pipefail

WG_TIMEOUT=${WG_TIMEOUT:-30}  # seconds for any one wait
WG_SCRATCH=
WG_XVFB_PID=
WG_CUPSD_PID=
WG_PDF_DIR=
WG_LAST_PID=
WG_DPI=96

wg_fail() {
  echo "FAIL: $*" >&2
  if [[ -n $WG_SCRATCH && -s $WG_SCRATCH/wine.log ]]; then
    echo "--- the Wine programs' output (last lines)" >&2
    tail -n 30 "$WG_SCRATCH/wine.log" >&2
  fi
  exit 1
}

wg_need() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || wg_fail "$tool is missing: scripts/setup.sh test installs it"
  done
}

# Waits until the command succeeds, at most TIMEOUT seconds; polls every tenth.
#   wg_until TIMEOUT WHAT COMMAND...
wg_until() {
  local timeout=$1 what=$2
  shift 2
  local deadline=$((SECONDS + timeout))
  until "$@"; do
    ((SECONDS < deadline)) || wg_fail "waited ${timeout}s for $what"
    sleep 0.1
  done
}

# One session at a time uses a prefix.
wg_lock() {
  mkdir -p "$(dirname "$1")"
  exec {WG_LOCK}>"$1.lock"
  flock -w 600 "$WG_LOCK" || wg_fail "$1 is in use by another session"
}

# Makes the prefix unless it is ready; the caller holds its lock.
wg_prepare() {
  local prefix=$1
  if [[ ! -f $prefix/.portwarden-gui-ready ]]; then
    WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
    rm -rf "$prefix"
    mkdir -p "$prefix"
    local home
    home=$(mktemp -d)
    (export WINEPREFIX=$prefix HOME=$home WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
     wineboot -i && wineserver -w) </dev/null >/dev/null 2>&1 || wg_fail "wineboot could not make $prefix"
    rm -rf "$home"
    touch "$prefix/.portwarden-gui-ready"
  fi
  # The user's folders point into the home the prefix was made with, which is
  # gone: folders of their own, so that programs can save there.
  local folder
  for folder in "$prefix"/drive_c/users/*/{Desktop,Documents,Downloads,Music,Pictures,Videos,Templates}; do
    if [[ -L $folder && ! -e $folder ]]; then rm -f "$folder" && mkdir -p "$folder"; fi
  done
  # fonts-wine's fonts, missing from a new prefix.
  local fonts=$prefix/drive_c/windows/Fonts
  [[ -f /usr/share/wine/fonts/tahoma.ttf ]] || wg_fail "the fonts of fonts-wine are missing: scripts/setup.sh test installs them"
  [[ -f $fonts/marlett.ttf ]] || cp /usr/share/wine/fonts/* "$fonts/"
}

# Re-runs the calling script in a mount namespace of its own, where the
# session's print server takes the place of /etc/cups. Needs root.
wg_private_mounts() {
  [[ ${WG_IN_PRIVATE_MOUNTS:-} == 1 ]] && return
  [[ $(id -u) -eq 0 ]] || wg_fail "printing under Wine needs a print server of the test's own, which needs root"
  WG_IN_PRIVATE_MOUNTS=1 exec unshare --mount --propagation private "$(command -v bash)" "$@"
}

wg_cups_running() { [[ $(lpstat -r 2>/dev/null) == "scheduler is running" ]]; }

wg_start_cups() {
  [[ ${WG_IN_PRIVATE_MOUNTS:-} == 1 ]] || wg_fail "wg_start --print needs wg_private_mounts first"
  [[ -x /usr/sbin/cupsd && -x /usr/lib/cups/backend/cups-pdf ]] ||
    wg_fail "cupsd or the cups-pdf backend is missing: install cups and printer-driver-cups-pdf"
  local r=$WG_SCRATCH/cups
  mkdir -p "$r"/{etc/ppd,etc/ssl,spool,cache,state,tmp,out,cpspool,log}
  chmod 755 "$WG_SCRATCH" "$r"  # the filters run as the user lp
  chmod 1777 "$r/tmp"
  local socket=$r/state/cups.sock
  cat >"$r/etc/cupsd.conf" <<EOF
Listen $socket
LogLevel warn
WebInterface no
Browsing off
DefaultAuthType None
<Location />
Order allow,deny
Allow all
</Location>
<Policy default>
<Limit All>
Order deny,allow
</Limit>
</Policy>
EOF
  cat >"$r/etc/cups-files.conf" <<EOF
ServerRoot /etc/cups
SystemGroup root
RequestRoot $r/spool
TempDir $r/tmp
CacheDir $r/cache
StateDir $r/state
ErrorLog $r/log/error_log
AccessLog $r/log/access_log
PageLog $r/log/page_log
EOF
  # The backend reads its settings from /etc/cups only.
  printf 'Out %s/out\nAnonDirName %s/out\nSpool %s/cpspool\nLog %s/log\nGrp root\nLabel 1\n' "$r" "$r" "$r" "$r" \
    >"$r/etc/cups-pdf.conf"
  # Every program in the namespace, Wine's included, finds the server here.
  echo "ServerName $socket" >"$r/etc/client.conf"
  mount --bind "$r/etc" /etc/cups
  /usr/sbin/cupsd -f -c /etc/cups/cupsd.conf -s /etc/cups/cups-files.conf </dev/null >"$r/log/cupsd.out" 2>&1 &
  WG_CUPSD_PID=$!
  export CUPS_SERVER=$socket
  wg_until "$WG_TIMEOUT" "the print server" wg_cups_running
  lpadmin -p PDF -E -v cups-pdf:/ -P /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd -o printer-error-policy=abort-job \
    >>"$r/log/lpadmin.out" 2>&1 || wg_fail "lpadmin could not add the PDF queue: $(cat "$r"/log/{lpadmin.out,error_log})"
  lpadmin -d PDF >>"$r/log/lpadmin.out" 2>&1 || wg_fail "lpadmin could not make PDF the default printer"
  WG_PDF_DIR=$r/out
}

wg_start_display() {
  local size=$1
  : >"$WG_SCRATCH/display"
  Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 "${size}x24" -dpi 96 \
    3>"$WG_SCRATCH/display" </dev/null >"$WG_SCRATCH/xvfb.log" 2>&1 &
  WG_XVFB_PID=$!
  wg_until "$WG_TIMEOUT" "Xvfb to start" grep -q '[0-9]' "$WG_SCRATCH/display"
  export DISPLAY=:$(head -n 1 "$WG_SCRATCH/display")
}

# Writes the session's settings into the prefix's registry and (re)starts its
# server, which reads them at start.
wg_apply_settings() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w
  printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"Managed"="N"\r\n\r\n[HKEY_CURRENT_USER\\Control Panel\\Desktop]\r\n"LogPixels"=dword:%08x\r\n' \
    "$WG_DPI" >"$WG_SCRATCH/settings.reg"
  wine regedit /S "$(winepath -w "$WG_SCRATCH/settings.reg" 2>/dev/null)" >>"$WG_SCRATCH/wine.log" 2>&1 ||
    wg_fail "regedit could not write the session's settings"
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w
  wineserver -p </dev/null >/dev/null 2>&1
}

wg_stop() {
  [[ -n $WG_SCRATCH ]] || return 0
  if [[ -n ${WINEPREFIX:-} ]]; then
    wineserver -k >/dev/null 2>&1 || true
    timeout 20 wineserver -w >/dev/null 2>&1 || true
  fi
  [[ -z $WG_XVFB_PID ]] || kill "$WG_XVFB_PID" 2>/dev/null || true
  [[ -z $WG_CUPSD_PID ]] || kill "$WG_CUPSD_PID" 2>/dev/null || true
  wait 2>/dev/null || true
  [[ -n ${WG_KEEP:-} ]] || rm -rf "$WG_SCRATCH"
  WG_SCRATCH=
}

#   wg_start PREFIX [--dpi N] [--print] [--size WxH]
wg_start() {
  local prefix print=false size=1280x1024
  prefix=$(realpath -m "$1")
  shift
  while (($#)); do
    case $1 in
      --dpi) WG_DPI=$2; shift ;;
      --print) print=true ;;
      --size) size=$2; shift ;;
      *) wg_fail "wg_start: unknown option $1" ;;
    esac
    shift
  done
  wg_need wine wineserver Xvfb xdotool import
  wg_lock "$prefix"
  wg_prepare "$prefix"
  WG_SCRATCH=$(mktemp -d "${TMPDIR:-/tmp}/wine-gui-XXXXXX")
  trap wg_stop EXIT
  mkdir -p "$WG_SCRATCH/home"
  export WINEPREFIX=$prefix HOME=$WG_SCRATCH/home WINEDEBUG=-all LC_ALL=C.UTF-8
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  if $print; then wg_start_cups; fi
  wg_start_display "$size"
  wg_apply_settings
}

# Another DPI for the programs started from now on (Wine has one for every
# monitor, read when its server starts).
wg_set_dpi() {
  WG_DPI=$1
  wg_apply_settings
}

# The Unix path of a Windows path on drive C.
wg_unix_path() {
  local path=${1//\\//}
  [[ ${path:0:3} == [Cc]:/ ]] || wg_fail "not a path on drive C: $1"
  echo "$WINEPREFIX/drive_c/${path:3}"
}

# Runs a Windows program to its end; its output goes to the session's log.
wg_run() { wine "$@" </dev/null >>"$WG_SCRATCH/wine.log" 2>&1; }

# Starts a Windows program and goes on; its process is $WG_LAST_PID.
wg_launch() {
  wine "$@" </dev/null >>"$WG_SCRATCH/wine.log" 2>&1 &
  WG_LAST_PID=$!
}

# The X window of the first visible top-level window whose title matches the
# regular expression, once there is one.
wg_wait_window() {
  local ids
  ids=$(timeout "${2:-$WG_TIMEOUT}" xdotool search --sync --onlyvisible --name "$1" 2>/dev/null) ||
    wg_fail "no window titled like '$1' within ${2:-$WG_TIMEOUT}s"
  [[ -n $ids ]] || wg_fail "no window titled like '$1'"
  echo "${ids%%$'\n'*}"
}

wg_title_matches() { [[ $(xdotool getwindowname "$1" 2>/dev/null) =~ $2 ]]; }

wg_wait_title() {
  wg_until "${3:-$WG_TIMEOUT}" "the title of window $1 to match '$2' (it is '$(xdotool getwindowname "$1" 2>/dev/null)')" \
    wg_title_matches "$1" "$2"
}

wg_window_gone() { ! xdotool getwindowname "$1" >/dev/null 2>&1; }

wg_wait_window_gone() { wg_until "${2:-$WG_TIMEOUT}" "window $1 to close" wg_window_gone "$1"; }

# Sets WG_X, WG_Y, WG_WIDTH and WG_HEIGHT to the window's place and size on the
# screen, which are Windows' screen coordinates too.
wg_geometry() {
  local line
  while IFS= read -r line; do
    case $line in
      X=*) WG_X=${line#X=} ;;
      Y=*) WG_Y=${line#Y=} ;;
      WIDTH=*) WG_WIDTH=${line#WIDTH=} ;;
      HEIGHT=*) WG_HEIGHT=${line#HEIGHT=} ;;
    esac
  done < <(xdotool getwindowgeometry --shell "$1")
  [[ -n ${WG_WIDTH:-} ]] || wg_fail "window $1 has no geometry"
}

# Clicks at X,Y within the window (from its top left corner, caption included).
wg_click() { xdotool mousemove --sync --window "$1" "$2" "$3" click 1; }

# Types into the control that has the focus: click it first.
wg_type() { xdotool type --delay 30 -- "$1"; }
wg_key() { xdotool key --delay 30 "$@"; }

# The data of a registry value as reg.exe gives it (0x… for a DWORD); fails
# when there is no such value.
wg_reg_value() {
  local out
  out=$(wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r') || return 1
  awk -v name="$2" '
    { line = $0; sub(/^ +/, "", line) }
    index(line, name " ") == 1 { rest = substr(line, length(name) + 1); sub(/^ +REG_[A-Z_]+ */, "", rest); print rest; found = 1; exit }
    END { exit !found }' <<<"$out"
}

wg_reg_key_exists() { wine reg query "$1" >/dev/null 2>&1; }

wg_reg_equals() { [[ $(wg_reg_value "$1" "$2") == "$3" ]]; }

wg_wait_reg() {
  wg_until "${4:-$WG_TIMEOUT}" "$1\\$2 to be '$3'" wg_reg_equals "$1" "$2" "$3"
}

wg_wait_file() { wg_until "${2:-$WG_TIMEOUT}" "$1 to appear" test -e "$1"; }
wg_wait_file_gone() { wg_until "${2:-$WG_TIMEOUT}" "$1 to go" test ! -e "$1"; }

# The PDF files the queue has written, once there are COUNT of them.
wg_pdf_count() { (($(find "$WG_PDF_DIR" -name '*.pdf' | wc -l) >= $1)); }
wg_queue_empty() { [[ -z $(lpstat -o 2>/dev/null) ]]; }
wg_wait_pdfs() {
  wg_until "${2:-$WG_TIMEOUT}" "$1 PDF file(s) from the print queue" wg_pdf_count "$1"
  wg_until "${2:-$WG_TIMEOUT}" "the print queue to finish" wg_queue_empty
  find "$WG_PDF_DIR" -name '*.pdf' | sort
}

# A PNG of the window (or of the whole screen).
wg_screenshot() { import -window "${2:-root}" "$1"; }

if [[ ${BASH_SOURCE[0]} == "$0" ]]; then
  case ${1:-} in
    prepare)
      wg_need wine wineserver
      prefix=$(realpath -m "${2:?prefix}")
      wg_lock "$prefix"
      wg_prepare "$prefix"
      ;;
    *) echo "usage: $0 prepare PREFIX" >&2; exit 2 ;;
  esac
fi
