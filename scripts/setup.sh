#!/usr/bin/env bash
# Installs the Debian packages this project needs that are missing.
#   scripts/setup.sh run     what building and starting the programs needs
#   scripts/setup.sh test    that, plus what every test needs (clang, Wine, MinGW)
set -euo pipefail

run_packages=(cmake ninja-build g++ pkg-config libsqlite3-dev qt6-base-dev libgl-dev libcups2-dev
              liblz4-dev nlohmann-json3-dev publicsuffix fonts-liberation2 xdg-utils)
test_packages=(libgtest-dev libgmock-dev googletest libbenchmark-dev libpsl-dev clang-14 libclang-rt-14-dev
               xvfb xauth x11-utils firefox-esr webext-ublock-origin-firefox iproute2 python3 chromium openssl
               # the Debian package: made, checked, installed and run
               dpkg-dev file help2man librsvg2-bin lintian desktop-file-utils appstream
               # the second implementation of Group Policy files
               python3-samba
               # the desktop's accessibility stack, as a screen reader meets the window
               at-spi2-core dbus-daemon python3-pyatspi
               # the manual pages and the completion, as man and bash show them
               man-db bash-completion)
# Installed without their recommendations: Wine's pull in a whole desktop, the
# print server's the network's printer discovery. The posix thread model of
# MinGW is the one the Windows build uses; icoutils packs the icons, fp-utils
# compiles the help, nsis makes the installer. The window tests under Wine
# drive a virtual display with xdotool, take screenshots with ImageMagick and
# give Wine the fonts of fonts-wine.
windows_packages=(g++-mingw-w64-x86-64-posix wine64 wine icoutils fp-utils nsis xdotool imagemagick fonts-wine)
# A print server of the tests' own with a queue that writes PDF files, and the
# tools that read the files back.
print_packages=(cups printer-driver-cups-pdf poppler-utils)

want=("${run_packages[@]}")
lean=()
if [[ "${1:-run}" == test ]]; then
  want+=("${test_packages[@]}")
  lean=("${windows_packages[@]}" "${print_packages[@]}")
fi

missing() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}

sudo_if_needed() {
  if [[ $(id -u) -eq 0 ]]; then "$@"; else sudo "$@"; fi
}

mapfile -t need < <(missing "${want[@]}")
mapfile -t need_lean < <(missing "${lean[@]}")
if (( ${#need[@]} + ${#need_lean[@]} == 0 )); then
  exit 0
fi
echo "setup: installing ${need[*]} ${need_lean[*]}"
export DEBIAN_FRONTEND=noninteractive
sudo_if_needed apt-get update -qq
if (( ${#need[@]} )); then
  sudo_if_needed apt-get install -y -qq "${need[@]}" >/dev/null
fi
if (( ${#need_lean[@]} )); then
  sudo_if_needed apt-get install -y -qq --no-install-recommends "${need_lean[@]}" >/dev/null
fi
