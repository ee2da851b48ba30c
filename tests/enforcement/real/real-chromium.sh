#!/usr/bin/env bash
# Debian's Chromium, headless, under the policy `enforce on` links into its
# policy folder: a folder of the run bind-mounted over /etc/chromium/policies in
# a mount namespace of its own, and a network namespace with only loopback up.
# Pages under .test host names, served on loopback over http and https, each
# run a script that changes the page; the page the browser dumps tells whether
# it ran. Then the model of the browsers' pattern precedence, to which the
# differential test holds the policy, is held to the browser itself: a sample
# of addresses over a random zone map, secured and unsecured.
#   real-chromium.sh PORTWARDEN_CLI POLICY_SAMPLE
set -euo pipefail
if [[ -z ${PW_PRIVATE_NAMESPACES:-} ]]; then
  flags=-mn
  if [[ $(id -u) != 0 ]]; then
    # A user namespace grants the mounts; the folder to mount over must exist.
    [[ -d /etc/chromium/policies ]] || { echo "run as root, or create /etc/chromium/policies first"; exit 1; }
    flags=-rmn
  fi
  mkdir -p /etc/chromium/policies
  PW_PRIVATE_NAMESPACES=1 exec unshare $flags "$0" "$@"
fi
cli=$1
sampler=$2
here=$(dirname "$(readlink -f "$0")")
ip link set lo up
links=$(ip -o link show | cut -d: -f2 | tr -d ' ')
[[ $links == lo ]] || { echo "the network namespace is not private: $links"; exit 1; }
for program in chromium openssl python3; do
  command -v $program >/dev/null || { echo "$program cannot run: install Debian's $program"; exit 1; }
done

work=$(mktemp -d)
set -m  # each background job in a process group of its own, ended whole
started=()
finish() {
  exec 2>/dev/null
  for pid in "${started[@]}"; do kill -TERM -- "-$pid" 2>/dev/null || true; done
  for _ in $(seq 50); do kill -0 "${started[@]}" 2>/dev/null || break; sleep 0.1; done
  for pid in "${started[@]}"; do kill -KILL -- "-$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  umount /etc/chromium/policies 2>/dev/null || true
  rm -rf "$work"
}
trap finish EXIT

mkdir -p "$work/policies" "$work/www"
mount --bind "$work/policies" /etc/chromium/policies
echo '<!DOCTYPE html><title>t</title><p id="r">script-blocked</p><script>document.getElementById("r").textContent = "script-" + "ran";</script>' \
  >"$work/www/index.html"
openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=portwarden.test -days 1 \
  -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
python3 - "$work" </dev/null >"$work/server.log" 2>&1 <<'SERVER' &
import functools, http.server, ssl, sys, threading
work = sys.argv[1]
class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args): pass
handler = functools.partial(Quiet, directory=work + "/www")
plain = http.server.ThreadingHTTPServer(("127.0.0.1", 8080), handler)
secure = http.server.ThreadingHTTPServer(("127.0.0.1", 8443), handler)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(work + "/cert.pem", work + "/key.pem")
secure.socket = context.wrap_socket(secure.socket, server_side=True)
threading.Thread(target=secure.serve_forever, daemon=True).start()
plain.serve_forever()
SERVER
started+=($!)

failures=0
# Loads the page in a fresh headless browser; prints "ran" or "blocked".
load() {
  local profile output
  profile=$(mktemp -d "$work/profile.XXXXXX")
  output=$(timeout 60 chromium --headless --no-sandbox --disable-gpu --no-first-run --disable-extensions \
    --disable-background-networking --disable-component-update --disable-sync --disable-default-apps \
    --user-data-dir="$profile" --ignore-certificate-errors --host-resolver-rules="MAP *.test 127.0.0.1" \
    --dump-dom "$1" 2>"$profile.log" </dev/null | grep -o 'script-[a-z]*' | head -1 || true)
  if [[ -z $output ]]; then
    echo "chromium showed no page for $1:" >&2
    tail -5 "$profile.log" >&2
  fi
  echo "${output#script-}"
}
expect() {
  local shown
  shown=$(load "$2")
  if [[ $shown == "$1" ]]; then
    echo "ok: $2: scripts $shown ($3)"
  else
    echo "FAILED: $2: scripts ${shown:-not shown}, expected $1 ($3)"
    failures=$((failures + 1))
  fi
}
store=$work/s.db
run() {
  "$cli" --store "$store" "$@" >"$work/cli.out" 2>&1 || { echo "portwarden-cli $* failed:"; cat "$work/cli.out"; exit 1; }
}
for _ in $(seq 50); do
  python3 -c 'import socket; socket.create_connection(("127.0.0.1", 8443), 1)' 2>/dev/null && break
  sleep 0.1
done

run add http://www.bad.test/ --zone restricted
run add http://www.good.test/ --zone trusted
run add http://www.per.test/ --zone trusted --protocols http
run secure
run enforce on --policy-root /etc/chromium/policies
[[ -L $work/policies/managed/portwarden.json ]] || { echo "no link in the policy folder"; exit 1; }

expect blocked http://bad.test:8080/ "Restricted [*.]bad.test"
expect ran http://www.good.test:8080/ "Trusted [*.]good.test while the zone is secured"
expect blocked http://other.test:8080/ "unlisted, secured zone"
expect ran http://www.per.test:8080/ "Trusted for http only"
expect blocked https://www.per.test:8443/ "the https page of an http listing, secured zone"

run default --yes  # the linked file is rewritten; a new browser reads it
expect ran http://other.test:8080/ "unlisted, unsecured zone"
expect blocked http://x.bad.test:8080/ "Restricted, any subdomain"

run enforce off
[[ ! -e $work/policies/managed/portwarden.json ]] || { echo "enforce off left our link"; exit 1; }
expect ran http://bad.test:8080/ "enforcement off: the browser's default"

# The sample, loaded in one browser per state; each address as the model
# decides it under the policy files in place.
sampled=0
sample() {
  "$sampler" expect "$work/sample.db" /etc/chromium/policies >"$work/expected" || { echo "policy-sample failed"; exit 1; }
  cut -d' ' -f1 "$work/expected" | python3 "$here/cdp-load.py" "$(mktemp -d "$work/profile.XXXXXX")" >"$work/shown"
  while read -r address want; do
    local got
    got=$(awk -v a="$address" '$1 == a { print $2; exit }' "$work/shown")
    if [[ $got == "$want" ]]; then
      sampled=$((sampled + 1))
    else
      echo "FAILED: $address: scripts ${got:-not shown}, the model says $want ($1)"
      failures=$((failures + 1))
    fi
  done <"$work/expected"
}
"$sampler" make "$work/sample.db"
store=$work/sample.db
run secure
run enforce on --policy-root /etc/chromium/policies
sample secured
run default --yes
sample unsecured
run enforce off
echo "the model decided as the browser on $sampled loads of $(wc -l <"$work/expected") sample addresses, in two states"

((failures == 0)) || exit 1
