#!/usr/bin/env bash
# The window as a screen reader meets it: the desktop's accessibility stack
# (AT-SPI on a private session bus) over the window program under a virtual
# display, walked and driven by walk.py with Debian's python3-pyatspi.
#   at-spi-test.sh PORTWARDEN PORTWARDEN_CLI
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

fail() {
  echo "accessibility test: $*" >&2
  exit 1
}

if [[ ${1:-} != --inside ]]; then
  for tool in dbus-run-session xvfb-run /usr/bin/python3 /usr/libexec/at-spi-bus-launcher; do
    command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup.sh test installs it)"
  done
  /usr/bin/python3 -c 'import pyatspi' 2>/dev/null || fail "python3-pyatspi is missing (scripts/setup.sh test installs it)"
  # A session bus of its own, on which the accessibility bus is started when
  # first asked for, and a display of its own.
  exec dbus-run-session -- xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" "$0" --inside "$@" \
    2> >(grep -v -e '^dbus-daemon\[' -e '^SpiRegistry daemon' >&2)
fi
shift
window_program=$1
cli=$2
work=$(mktemp -d /tmp/pw-a11y-XXXXXX)
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
window_pid=
cleanup() {
  if [[ -n $window_pid ]]; then
    kill "$window_pid" 2>/dev/null || true
    wait "$window_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

store=$work/registry.db
"$cli" --store "$store" prompt >/dev/null 2>&1
"$cli" --store "$store" add https://www.example.com/ --zone trusted >/dev/null

# Qt offers its accessibility tree when the desktop asks for it; here the test
# is the desktop.
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_QPA_PLATFORM=xcb QT_FONT_DPI=96 \
  "$window_program" --store "$store" >"$work/window.log" 2>&1 &
window_pid=$!

status=0
/usr/bin/python3 "$here/walk.py" "$cli" "$store" || status=$?
if ((status)); then
  echo "--- the window program's output:" >&2
  cat "$work/window.log" >&2
fi
exit $status
