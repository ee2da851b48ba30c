#!/usr/bin/env bash
# The installer under Wine, silent both ways: what it installs, its Start-menu
# entries and its Add or Remove Programs entry; then a Trust button registered
# by the installer itself for the window program; then the uninstaller, which must take all of
# it away again, the button's key and values as st6unst.log records them and
# the log itself included. Checks files and the registry, never exit codes.
#   installer-test.sh SETUP.EXE PREFIX
set -euo pipefail
source "$(dirname "$0")/wine-gui.sh"
setup=$(realpath "$1")
[[ -f $setup ]] || wg_fail "there is no installer $1: scripts/build-windows.sh makes it (nsis)"
wg_start "$2"

folder=$(wg_unix_path 'C:\Program Files\Portwarden')
menu=$(wg_unix_path 'C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Portwarden')
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Portwarden'
rm -rf "$folder"
# A mark another test left would keep the installer from registering the button.
wg_run reg delete 'HKLM\Software\Portwarden' /f || true

wg_run "$setup" /S || true
installed=(portwarden.exe portwarden-cli.exe VadadAr.ico TrustHot.ico Portwarden-HELP.chm help/index.html help/style.css uninstall.exe)
for file in "${installed[@]}"; do wg_wait_file "$folder/$file"; done
for link in 'Portwarden.lnk' 'Portwarden Help.lnk' 'Portwarden command line.lnk'; do
  [[ -f $menu/$link ]] || wg_fail "no Start-menu entry '$link' in $menu: $(ls "$menu" 2>&1)"
done
# The registry is written after the files, the button last of all.
wg_wait_reg "$uninstall_key" UninstallString '"C:\Program Files\Portwarden\uninstall.exe"'
[[ $(wg_reg_value "$uninstall_key" DisplayVersion) =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] ||
  wg_fail "the uninstall entry has no version"

# The button, as the window program's first start would make it, and the
# mark that keeps that start from making another.
log=$folder/st6unst.log
log_complete() { [[ -f $log && $(grep -c . "$log") == 14 ]]; }
wg_until "$WG_TIMEOUT" "the button's fourteen records in $log" log_complete
guid=$(grep -o '{[0-9A-Fa-f-]\{36\}}' "$log" | head -n 1)
button_key="HKLM\\Software\\Microsoft\\Internet Explorer\\Extensions\\$guid"
[[ -n $guid && $(grep -c . "$log") == 14 ]] || wg_fail "register-button did not log one button: $(cat "$log")"
[[ $(wg_reg_value "$button_key" Exec) == 'C:\Program Files\Portwarden\portwarden.exe' ]] ||
  wg_fail "the button's Exec is $(wg_reg_value "$button_key" Exec), not the installed window program"
wg_reg_key_exists 'HKLM\Software\Portwarden' || wg_fail "the installer left no first-start mark"
for value in Icon HotIcon; do
  file=$(wg_reg_value "$button_key" "$value") || wg_fail "the button has no $value"
  [[ -f $(wg_unix_path "$file") ]] || wg_fail "the button's $value names $file, which is not there"
done

wg_run "$folder/uninstall.exe" /S || true
# It goes on from a copy in %TEMP% after it has returned.
wg_wait_file_gone "$folder"
wg_wait_file_gone "$menu"
if wg_reg_key_exists "$button_key"; then wg_fail "the button's key $button_key is still there"; fi
if wg_reg_key_exists "$uninstall_key"; then wg_fail "the uninstall entry is still there"; fi
if wg_reg_key_exists 'HKLM\Software\Portwarden'; then wg_fail "the first start's mark is still there"; fi
wg_reg_key_exists 'HKLM\Software\Microsoft\Internet Explorer\Extensions' ||
  wg_fail "the uninstaller removed the browser's Extensions key itself"
echo "installer: installed, registered a button, uninstalled everything"
