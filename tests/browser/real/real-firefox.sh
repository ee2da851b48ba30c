#!/usr/bin/env bash
# Debian's Firefox, headless on a fresh profile, shows two pages served on
# loopback; `open-pages` must then list both, read from its session file. It
# all runs in a network namespace of its own with only loopback up, so the
# browser reaches nothing outside the machine.
#   real-firefox.sh PORTWARDEN_CLI
set -euo pipefail
if [[ -z ${PW_PRIVATE_NETWORK:-} ]]; then
  flags=-n
  [[ $(id -u) == 0 ]] || flags=-rn  # a user namespace grants the right to make one
  PW_PRIVATE_NETWORK=1 exec unshare $flags "$0" "$@"
fi
cli=$1
ip link set lo up
links=$(ip -o link show | cut -d: -f2 | tr -d ' ')
[[ $links == lo ]] || { echo "the network namespace is not private: $links"; exit 1; }
command -v firefox-esr >/dev/null || { echo "firefox-esr cannot run: install Debian's firefox-esr"; exit 1; }

home=$(mktemp -d)
set -m  # each background job in a process group of its own, ended whole
started=()
finish() {
  exec 2>/dev/null  # no notes of the jobs ended here
  for pid in "${started[@]}"; do kill -TERM -- "-$pid" 2>/dev/null || true; done
  for _ in $(seq 50); do kill -0 "${started[@]}" 2>/dev/null || break; sleep 0.1; done
  for pid in "${started[@]}"; do kill -KILL -- "-$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$home"
}
trap finish EXIT

root=$home/.mozilla/firefox
mkdir -p "$root/pw.test" "$home/www"
printf '[Profile0]\nName=test\nIsRelative=1\nPath=pw.test\n\n[General]\nStartWithLastProfile=1\nVersion=2\n' \
  >"$root/profiles.ini"
printf '[0123456789ABCDEF]\nDefault=pw.test\nLocked=1\n' >"$root/installs.ini"
cat >"$root/pw.test/user.js" <<'PREFS'
user_pref("browser.sessionstore.interval", 1000);
user_pref("network.dns.disabled", true);
user_pref("browser.shell.checkDefaultBrowser", false);
user_pref("datareporting.policy.firstRunURL", "");
user_pref("browser.startup.homepage_override.mstone", "ignore");
user_pref("browser.aboutwelcome.enabled", false);
user_pref("app.update.auto", false);
PREFS
for page in one two; do echo "<!DOCTYPE html><title>$page</title><p>$page" >"$home/www/$page.html"; done

python3 -m http.server 8765 --bind 127.0.0.1 --directory "$home/www" </dev/null >/dev/null 2>&1 &
started+=($!)
one=http://127.0.0.1:8765/one.html
two=http://127.0.0.1:8765/two.html
start=$SECONDS
HOME=$home MOZ_CRASHREPORTER_DISABLE=1 firefox-esr --headless --no-remote --profile "$root/pw.test" "$one" "$two" \
  </dev/null >"$home/firefox.log" 2>&1 &
firefox=$!
started+=($firefox)

listed=
while ((SECONDS - start < 90)) && kill -0 "$firefox" 2>/dev/null; do
  listed=$(HOME=$home XDG_CONFIG_HOME='' "$cli" open-pages 2>&1) || true
  if [[ $listed == "$one"$'\n'"$two" ]]; then
    echo "open-pages listed Firefox's two pages $((SECONDS - start)) s after it started"
    exit 0
  fi
  sleep 0.5
done
echo "open-pages printed:"
echo "$listed"
echo "Firefox said:"
tail -20 "$home/firefox.log"
exit 1
