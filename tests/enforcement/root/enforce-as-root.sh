#!/usr/bin/env bash
# Enforcement run as root on a store that a user controls, tried as a local
# attacker would: nothing the user places or writes in the store makes root
# write, follow or delete elsewhere, lose track of its links, or hang. A
# throwaway user is made for the run (and removed) in a mount namespace of its
# own, over a copy of /etc, so that every write under /etc stays private.
#   enforce-as-root.sh PORTWARDEN_CLI
set -euo pipefail
[[ $(id -u) == 0 ]] || { echo "run as root: these cases are what root does with a user's store"; exit 1; }
if [[ -z ${PW_PRIVATE_NAMESPACES:-} ]]; then
  PW_PRIVATE_NAMESPACES=1 exec unshare -m "$0" "$@"
fi
cli=$(realpath "$1")
for program in useradd userdel setpriv flock; do
  command -v $program >/dev/null || { echo "$program cannot run: install Debian's passwd and util-linux"; exit 1; }
done

work=$(mktemp -d /tmp/pw-root.XXXXXX)
chmod 755 "$work"
mkdir "$work/etc" "$work/mozilla"
cp -a /etc/. "$work/etc/"
cp -a /usr/lib/mozilla/. "$work/mozilla/"
mount --bind "$work/etc" /etc
mount --bind "$work/mozilla" /usr/lib/mozilla
user=pwroot$$
useradd -M -d /nonexistent -s /usr/sbin/nologin -U "$user"
set -m  # each background job in a process group of its own, ended whole
started=()
finish() {
  exec 2>/dev/null
  for pid in "${started[@]}"; do kill -KILL -- "-$pid" || true; done
  wait || true
  userdel "$user" || true
  umount /usr/lib/mozilla || true
  umount /etc || true
  rm -rf "$work"
}
trap finish EXIT

policies=/etc/chromium/policies
storage=/usr/lib/mozilla/managed-storage
manifest=$storage/uBlock0@raymondhill.net.json
failures=0
ok() { echo "ok: $1"; }
failed() {
  echo "FAILED: $1"
  failures=$((failures + 1))
}
as_user() { setpriv --reuid="$user" --regid="$user" --init-groups -- "$@"; }
as_nobody() { setpriv --reuid=nobody --regid=nogroup --clear-groups -- "$@"; }
# A fresh folder of the user's with a store holding one Restricted site, and
# no policy of ours anywhere.
fresh() {
  rm -rf "${policies:?}" /etc/chromium/portwarden* /etc/firefox "$storage"
  home=$work/$1
  mkdir -p "$home"
  chown "$user:" "$home"
  store=$home/pw.db
  as_user "$cli" --store "$store" add http://www.bad.test/ --zone restricted >/dev/null 2>&1
}
# The user's own .reg file, imported as the user.
user_import() {
  printf 'Windows Registry Editor Version 5.00\r\n\r\n%s\r\n' "$1" >"$home/forged.reg"
  as_user "$cli" --store "$store" import --all "$home/forged.reg" >/dev/null 2>&1
}

# A link the user puts where the policy folder goes is not followed.
fresh linked
as_user ln -s /etc/apt/apt.conf.d "$store.policy"
if "$cli" --store "$store" enforce on --browsers chromium >"$work/out" 2>&1; then
  failed "enforce on went on through a linked $store.policy"
elif ls /etc/apt/apt.conf.d | grep -q -e managed -e recommended -e domains; then
  failed "root wrote into /etc/apt/apt.conf.d through the user's link: $(ls /etc/apt/apt.conf.d)"
else
  ok "a linked policy folder is refused: $(head -1 "$work/out")"
fi

# Revocation holds although the user removed the store's record.
fresh revoked
"$cli" --store "$store" enforce on --browsers chromium >/dev/null
user_import '[-HKEY_LOCAL_MACHINE\Software\Portwarden\Enforcement]'
"$cli" --store "$store" enforce off >"$work/out" 2>&1 || true
if [[ -L $policies/managed/portwarden.json || -L $policies/recommended/portwarden.json ]]; then
  failed "enforce off left root's link after the user removed the record: $(cat "$work/out")"
else
  ok "enforce off finds its links without the store's record"
fi

# A forged record makes root delete nothing of another's, at off or at the next on.
fresh forged
mkdir -p /etc/victim/managed /etc/victim/recommended /etc/victim-files
mkdir -p /etc/victim/managed-storage /etc/victim/policies
for file in /etc/victim/managed/portwarden.json /etc/victim/recommended/portwarden.json \
  /etc/victim-files/managed.json /etc/victim-files/recommended.json /etc/victim-files/domains \
  /etc/victim/managed-storage/uBlock0@raymondhill.net.json; do
  echo '{}' >"$file"
done
victim_policies='{"policies": {"ExtensionSettings": {"uBlock0@raymondhill.net": {"installation_mode": "force_installed", "private_browsing": true}}}}'
echo "$victim_policies" >/etc/victim/policies/policies.json
user_import '[HKEY_LOCAL_MACHINE\Software\Portwarden\Enforcement]
"Browsers"="chromium,firefox"
"PolicyRoot"="/etc/victim"
"PolicyFolder"="/etc/victim-files"
"Copy"=dword:00000001'
"$cli" --store "$store" enforce off >/dev/null 2>&1 || true
user_import '[HKEY_LOCAL_MACHINE\Software\Portwarden\Enforcement]
"Browsers"="chromium"
"PolicyRoot"="/etc/victim"
"PolicyFolder"="/etc/victim-files"
"Copy"=dword:00000001'
"$cli" --store "$store" enforce on --browsers chromium >/dev/null 2>&1 || true
left=$(ls /etc/victim/managed /etc/victim/recommended /etc/victim-files | grep -c -e portwarden.json -e managed.json \
  -e recommended.json -e domains || true)
if [[ $left != 5 || ! -f /etc/victim/managed-storage/uBlock0@raymondhill.net.json ||
  $(cat /etc/victim/policies/policies.json) != "$victim_policies" ]]; then
  failed "a forged record made root delete or change files: $(find /etc/victim /etc/victim-files -type f)"
else
  ok "a forged record deletes nothing that is not ours"
fi
rm -rf /etc/victim /etc/victim-files

# Firefox: revocation holds without the store's record, and takes only our
# entry out of the administrator's policies file.
fresh firefox
mkdir -p /etc/firefox/policies
echo '{"policies": {"DisableTelemetry": true}}' >/etc/firefox/policies/policies.json
"$cli" --store "$store" enforce on --browsers firefox >"$work/out" 2>&1 || { failed "enforce on for Firefox: $(cat "$work/out")"; }
as_user "$cli" --store "$store" add http://www.worse.test/ --zone restricted >/dev/null 2>&1 || true
if ! grep -q 'worse.test true' "$store.policy/firefox-managed-storage.json" 2>/dev/null; then
  failed "the user's write did not reach Firefox's manifest: $(ls -l "$manifest" 2>&1)"
fi
user_import '[-HKEY_LOCAL_MACHINE\Software\Portwarden\Enforcement]'
"$cli" --store "$store" enforce off >"$work/out" 2>&1 || true
if [[ -L $manifest ]] || grep -q uBlock0 /etc/firefox/policies/policies.json; then
  failed "enforce off left Firefox's placement after the user removed the record: $(cat "$work/out")"
elif ! grep -q DisableTelemetry /etc/firefox/policies/policies.json; then
  failed "enforce off lost the administrator's policy: $(cat /etc/firefox/policies/policies.json)"
else
  ok "Firefox: enforce off finds its placement without the store's record and keeps the administrator's policies"
fi

# Firefox: a policies file that is a link is not followed.
fresh firefox-link
mkdir -p /etc/firefox/policies
echo '{"policies": {}}' >/etc/victim.json
ln -s /etc/victim.json /etc/firefox/policies/policies.json
if "$cli" --store "$store" enforce on --browsers firefox >"$work/out" 2>&1; then
  failed "enforce on wrote through a linked policies file"
elif [[ $(cat /etc/victim.json) != '{"policies": {}}' || -e $manifest ]]; then
  failed "a refused enforce on changed something: $(cat /etc/victim.json; ls "$storage" 2>&1)"
else
  ok "Firefox: a linked policies file is refused: $(head -1 "$work/out")"
fi
rm -f /etc/victim.json

# In a folder every user may write, a policy folder another user made is refused.
fresh shared
chmod 1777 "$home"
as_nobody mkdir -m 777 "$store.policy"
if "$cli" --store "$store" enforce on --browsers chromium >"$work/out" 2>&1; then
  failed "enforce on wrote into the policy folder nobody made"
elif ! grep -q nobody "$work/out"; then
  failed "the refusal does not name the folder's owner: $(cat "$work/out")"
else
  ok "another user's policy folder is refused: $(head -1 "$work/out")"
fi

# Another user cannot make the owner's writes wait.
fresh locked
"$cli" --store "$store" enforce on --browsers chromium >/dev/null
as_nobody flock "$store.policy" sleep 60 &
started+=($!)
as_nobody flock "$store.policy/lock" sleep 60 2>/dev/null &
started+=($!)
sleep 0.5
if ! timeout 20 setpriv --reuid="$user" --regid="$user" --init-groups -- \
  "$cli" --store "$store" add http://www.worse.test/ --zone restricted >"$work/out" 2>&1; then
  failed "another user's lock held up the owner's write: $(cat "$work/out")"
elif ! grep -q worse.test "$store.policy/managed.json"; then
  failed "the write went through but the policy did not follow"
else
  ok "another user's lock holds nothing up"
fi
for pid in "${started[@]}"; do kill -KILL -- "-$pid" 2>/dev/null || true; done
wait 2>/dev/null || true
started=()

# What a killed `enforce on` left (a link to the user's file and a stray
# temporary link, no record anywhere) is seen by status and taken by off.
fresh killed
as_user mkdir "$store.policy"
as_user sh -c "echo '{}' >'$store.policy/managed.json'"
mkdir -p $policies/managed
ln -s "$store.policy/managed.json" $policies/managed/portwarden.json
ln -s "$store.policy/managed.json" $policies/managed/.portwarden-link.4242.0
"$cli" --store "$store" enforce status >"$work/status" 2>&1 || true
"$cli" --store "$store" enforce off >"$work/out" 2>&1 || true
if ! grep -q "$policies/managed/portwarden.json" "$work/status"; then
  failed "status does not show the link a killed enforce on left: $(cat "$work/status")"
elif [[ -L $policies/managed/portwarden.json || -L $policies/managed/.portwarden-link.4242.0 ]]; then
  failed "enforce off left what a killed enforce on placed: $(cat "$work/out")"
else
  ok "status sees and off takes what a killed enforce on left"
fi

((failures == 0)) || exit 1
