#!/usr/bin/env bash
# Debian's Firefox, headless, under the policy `enforce on` places for it: the
# content blocker's managed storage and our entry in Firefox's policies file,
# at their real paths over private copies of /etc and /usr/lib/mozilla in a
# mount namespace of its own, with only loopback up. Three sites served on
# loopback each run an inline and an external script that call back to the
# server, which logs every request; the page reloads itself every second. A
# blocked site shows its <noscript> image instead, and the first such request
# tells that the blocker, which starts some seconds after Firefox, is at work.
#   real-firefox-enforcement.sh PORTWARDEN_CLI
set -euo pipefail
[[ $(id -u) == 0 ]] || { echo "run as root: enforce on places Firefox's policy where only root may write"; exit 1; }
if [[ -z ${PW_PRIVATE_NAMESPACES:-} ]]; then
  PW_PRIVATE_NAMESPACES=1 exec unshare -mn "$0" "$@"
fi
cli=$(realpath "$1")
ip link set lo up
links=$(ip -o link show | cut -d: -f2 | tr -d ' ')
[[ $links == lo ]] || { echo "the network namespace is not private: $links"; exit 1; }
command -v firefox-esr >/dev/null || { echo "firefox-esr cannot run: install Debian's firefox-esr"; exit 1; }
[[ -d "/usr/share/mozilla/extensions/{ec8030f7-c20a-464f-9b0e-13a3a9e97384}/uBlock0@raymondhill.net" ]] ||
  { echo "the content blocker is missing: install Debian's webext-ublock-origin-firefox"; exit 1; }

work=$(mktemp -d /tmp/pw-firefox.XXXXXX)
chmod 755 "$work"
set -m  # each background job in a process group of its own, ended whole
started=()
stop_all() {
  for pid in "${started[@]}"; do kill -TERM -- "-$pid" 2>/dev/null || true; done
  for _ in $(seq 50); do kill -0 "${started[@]}" 2>/dev/null || break; sleep 0.1; done
  for pid in "${started[@]}"; do kill -KILL -- "-$pid" 2>/dev/null || true; done
  wait "${started[@]}" 2>/dev/null || true
  started=()
}
finish() {
  exec 2>/dev/null
  stop_all
  stop_firefox
  umount /usr/lib/mozilla || true
  umount /etc || true
  rm -rf "$work"
}
firefox_pid=
stop_firefox() {
  [[ -n $firefox_pid ]] || return 0
  {
    kill -TERM -- "-$firefox_pid" || true
    for _ in $(seq 50); do kill -0 "$firefox_pid" || break; sleep 0.1; done
    kill -KILL -- "-$firefox_pid" || true
    wait "$firefox_pid" || true
  } 2>/dev/null
  firefox_pid=
}
trap finish EXIT

# Private copies of what enforcement and the name lookup change.
mkdir "$work/etc" "$work/mozilla" "$work/www"
cp -a /etc/. "$work/etc/"
cp -a /usr/lib/mozilla/. "$work/mozilla/"
echo "127.0.0.1 evil.test good.test plain.test secret.test" >>"$work/etc/hosts"
rm -rf "$work/etc/firefox" "$work/mozilla/managed-storage"
mount --bind "$work/etc" /etc
mount --bind "$work/mozilla" /usr/lib/mozilla

cat >"$work/www/index.html" <<'PAGE'
<!DOCTYPE html><meta charset="utf-8"><meta http-equiv="refresh" content="1"><title>page</title>
<script>fetch("/ran?inline");</script>
<script src="/external.js"></script>
<noscript><img src="/noscript.gif"></noscript>
PAGE
echo 'fetch("/ran?external");' >"$work/www/external.js"
python3 - "$work" </dev/null >"$work/server.err" 2>&1 <<'SERVER' &
import http.server, sys, time
work = sys.argv[1]
log = open(work + "/requests.log", "a", buffering=1)
gif = bytes.fromhex("47494638396101000100800000000000ffffff2c00000000010001000002024401003b")
class Handler(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args): pass
    def do_GET(self):
        host = (self.headers.get("Host") or "").split(":")[0]
        path = self.path.split("?")[0]
        log.write("%.3f %s %s\n" % (time.time(), host, path))
        body, kind = b"", "text/plain"
        if path == "/":
            body, kind = open(work + "/www/index.html", "rb").read(), "text/html"
        elif path == "/external.js":
            body, kind = open(work + "/www/external.js", "rb").read(), "text/javascript"
        elif path == "/noscript.gif":
            body, kind = gif, "image/gif"
        self.send_response(200)
        self.send_header("Content-Type", kind)
        self.send_header("Cache-Control", "no-store")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
http.server.ThreadingHTTPServer(("127.0.0.1", 8080), Handler).serve_forever()
SERVER
started+=($!)
for _ in $(seq 50); do
  python3 -c 'import socket; socket.create_connection(("127.0.0.1", 8080), 1)' 2>/dev/null && break
  sleep 0.1
done

run() {
  "$cli" --store "$work/s.db" "$@" >"$work/cli.out" 2>&1 || { echo "portwarden-cli $* failed:"; cat "$work/cli.out"; exit 1; }
}
failures=0
ok() { echo "ok: $1"; }
failed() {
  echo "FAILED: $1"
  failures=$((failures + 1))
}

# Starts Firefox on a profile with the pages given, and waits until the
# blocker is at work: the first <noscript> image of a blocked site, then 2 s
# more. When no site is blocked, it waits half as long again as the blocker
# took at most before, which shows that it would have blocked by then. Sets
# `ready`, the time from which the log is read, and `seen` to the seconds
# the blocker took.
slowest=0
start() {
  local profile=$1 watch=$2
  shift 2
  mkdir -p "$profile"
  local began
  began=$(date +%s.%N)
  HOME=$work MOZ_CRASHREPORTER_DISABLE=1 firefox-esr --headless --no-remote --profile "$profile" "$@" \
    </dev/null >>"$work/firefox.log" 2>&1 &
  firefox_pid=$!
  local marker= settle
  settle=$(python3 -c "print(max(10, int($slowest * 1.5) + 2) if $slowest else 40)")
  for _ in $(seq $((settle * 10))); do
    marker=$(awk -v t="$began" '$1 > t && $3 == "/noscript.gif" {print $1; exit}' "$work/requests.log")
    [[ -n $marker ]] && break
    sleep 0.1
  done
  if [[ -n $marker ]]; then
    seen=$(python3 -c "print(round($marker - $began, 1))")
    slowest=$(python3 -c "print(max($slowest, $seen))")
    echo "  the blocker was at work $seen s after the start"
    ready=$(python3 -c "print($marker + 2)")
    sleep 2
  else
    echo "  no site blocked $settle s after the start"
    ready=$(date +%s.%N)
  fi
  sleep "$watch"
}
# What a site did in the log since `ready`: page loads and script calls.
loads() { awk -v t="$ready" -v h="$1" '$1 > t && $2 == h && $3 == "/" {n++} END {print n + 0}' "$work/requests.log"; }
ran() { awk -v t="$ready" -v h="$1" '$1 > t && $2 == h && $3 == "/ran" {n++} END {print n + 0}' "$work/requests.log"; }
expect() {
  local site=$1 want=$2 why=$3 l r
  l=$(loads "$site")
  r=$(ran "$site")
  if ((l == 0)); then
    failed "$site: no page loads ($why)"
  elif [[ $want == blocked ]] && ((r == 0)); then
    ok "$site: $l loads, scripts blocked ($why)"
  elif [[ $want == ran ]] && ((r >= l)); then
    ok "$site: $l loads, $r script calls ($why)"
  else
    failed "$site: $l loads and $r script calls, expected scripts $want ($why)"
  fi
}
pages=(http://evil.test:8080/ http://good.test:8080/ http://plain.test:8080/)
touch "$work/requests.log"

run add http://evil.test/ --zone restricted
run add http://good.test/ --zone trusted
run secure
run enforce on --browsers firefox
[[ -L /usr/lib/mozilla/managed-storage/uBlock0@raymondhill.net.json ]] || { echo "no manifest link"; cat "$work/cli.out"; exit 1; }
grep -q uBlock0 /etc/firefox/policies/policies.json || { echo "no entry in the policies file"; exit 1; }

run add http://secret.test/ --zone restricted
echo "secured, a fresh profile, secret.test in a private window:"
start "$work/profile" 5 "${pages[@]}" --private-window http://secret.test:8080/
expect evil.test blocked "Restricted"
expect good.test ran "Trusted while secured"
expect plain.test blocked "unlisted, secured"
expect secret.test blocked "Restricted, in a private window"
stop_firefox

run default --yes
echo "unsecured, the same profile, first start after the change:"
start "$work/profile" 0 "${pages[@]}"
stop_firefox
echo "unsecured, the same profile, second start after the change:"
start "$work/profile" 4 "${pages[@]}"
expect evil.test blocked "Restricted"
expect good.test ran "Trusted"
expect plain.test ran "unlisted, unsecured, by the second start"
stop_firefox

run enforce off
[[ ! -e /usr/lib/mozilla/managed-storage/uBlock0@raymondhill.net.json ]] || { echo "enforce off left the manifest"; exit 1; }
[[ ! -e /etc/firefox/policies/policies.json ]] || { echo "enforce off left the policies file it made"; exit 1; }
echo "enforcement off, a fresh profile:"
start "$work/off" 4 "${pages[@]}"
expect evil.test ran "enforcement off"
expect plain.test ran "enforcement off"
stop_firefox

((failures == 0)) || exit 1
