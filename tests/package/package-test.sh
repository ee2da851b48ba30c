#!/usr/bin/env bash
# The Debian package, as a user gets it.
#   package-test.sh build   BUILD VERSION   makes the .deb with CPack and checks what it holds
#   package-test.sh lint    BUILD VERSION   lintian, and the menu entry's and AppStream validators
#   package-test.sh install BUILD VERSION   installs it into this machine, runs both programs
#                                           on a fresh store, removes it and checks that
#                                           nothing of it is left
# The install step needs root (CI runs as root) or sudo without a password.
set -euo pipefail
mode=$1
build=$(cd "$2" && pwd)
version=$3
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
deb=$build/package/portwarden_${version}_$(dpkg --print-architecture).deb

fail() {
  echo "package test: $*" >&2
  exit 1
}

build_package() {
  rm -f "$build"/package/portwarden_*.deb
  (cd "$build" && cpack -G DEB --config CPackConfig.cmake >cpack.log 2>&1) || {
    tail -20 "$build/cpack.log" >&2
    fail "cpack failed"
  }
  [[ -f $deb ]] || fail "cpack made no $deb"
  local contents missing=()
  contents=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./||')
  while read -r file; do
    grep -qxF "$file" <<<"$contents" || missing+=("$file")
  done <"$build/packaging/expected-files.txt"
  ((${#missing[@]} == 0)) || fail "the package lacks ${missing[*]} (is help2man or rsvg-convert missing? scripts/setup.sh test installs them)"
  [[ $(dpkg-deb -f "$deb" Version) == "$version" ]] || fail "the package's version is not $version"
  local depends
  depends=$(dpkg-deb -f "$deb" Depends)
  # From dpkg-shlibdeps, and the one Qt loads without linking it.
  for needed in libqt6widgets6 libsqlite3-0 libc6 qt6-qpa-plugins; do
    grep -q "\b$needed\b" <<<"$depends" || fail "Depends lacks $needed: $depends"
  done
  echo "built $deb: $(dpkg-deb -f "$deb" Installed-Size) KiB installed; Depends: $depends"
}

lint_package() {
  local output explained tag status=0
  output=$(lintian --pedantic "$deb" 2>&1) || true
  echo "lintian: ${output:-no tags}"
  # Warnings are allowed only where the README explains them, in its list of
  # lintian warnings: lines "- `tag`: why".
  explained=$(sed -n '/^### Lintian warnings explained/,/^#/p' "$source_dir/README.md" |
                sed -n 's/^- `\([a-z0-9.+-]*\)`.*/\1/p')
  while read -r line; do
    [[ -z $line ]] && continue
    case $line in
      E:*) echo "lintian error: $line" >&2; status=1 ;;
      W:*)
        tag=$(awk '{print $3}' <<<"$line")
        grep -qxF "$tag" <<<"$explained" || { echo "lintian warning not explained in the README: $line" >&2; status=1; }
        ;;
    esac
  done <<<"$output"
  desktop-file-validate "$source_dir/packaging/org.portwarden.Portwarden.desktop" || status=1
  appstreamcli validate --no-net "$build/packaging/org.portwarden.Portwarden.metainfo.xml" || status=1
  return $status
}

as_root() {
  if [[ $(id -u) -eq 0 ]]; then "$@"; else sudo -n "$@"; fi
}

# dpkg refuses at once while another install holds its lock: wait for it.
dpkg_with_retry() {
  local tries=0 out
  while ! out=$(as_root dpkg "$@" 2>&1); do
    if grep -q "lock" <<<"$out" && ((tries++ < 60)); then sleep 5; continue; fi
    echo "$out" >&2
    return 1
  done
}

installed() { [[ $(dpkg-query -W -f='${Status}' portwarden 2>/dev/null) == "install ok installed" ]]; }

install_package() {
  [[ -f $deb ]] || fail "no package at $deb"
  if [[ $(id -u) -ne 0 ]] && ! sudo -n true 2>/dev/null; then
    fail "installing a package needs root or sudo without a password"
  fi
  # One install at a time on this machine, whichever checkout runs the test.
  exec 9>/tmp/portwarden-package-test.lock
  flock -w 900 9 || fail "another package test holds the machine's lock"
  # Left by a run of this test that was killed midway: removed before anything.
  marker=/var/tmp/portwarden-package-test.installed
  if installed; then
    [[ -f $marker ]] || fail "portwarden is installed on this machine and not by this test: remove it first (dpkg -r portwarden)"
    dpkg_with_retry -r portwarden || fail "cannot remove the package left by an earlier run"
  fi
  work=$(mktemp -d /tmp/pw-package-XXXXXX)
  chmod 755 "$work"
  we_installed=
  cleanup() {
    if [[ -n $we_installed ]] && installed; then dpkg_with_retry -r portwarden || echo "package test: dpkg -r failed" >&2; fi
    # Kept while the package stays, so that the next run removes it.
    installed || as_root rm -f "$marker"
    rm -rf "$work"
  }
  trap cleanup EXIT
  touch "$work/stamp"
  as_root touch "$marker"
  we_installed=1
  dpkg_with_retry -i "$deb" || fail "dpkg -i failed"
  dpkg-query -L portwarden >"$work/files"

  # A user's fresh session: no store yet, nothing of the build's environment.
  local home=$work/home
  mkdir -p "$home"
  run() { env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 "$@"; }
  local out
  out=$(run /usr/bin/portwarden-cli --version) || fail "portwarden-cli --version failed"
  [[ $out == "portwarden-cli $version" ]] || fail "portwarden-cli --version printed '$out'"
  out=$(run /usr/bin/portwarden --version) || fail "portwarden --version failed"
  [[ $out == "portwarden $version" ]] || fail "portwarden --version printed '$out'"
  out=$(run /usr/bin/portwarden-cli status 2>"$work/err") || fail "status failed: $(cat "$work/err")"
  [[ $out == unsecured ]] || fail "status before any store printed '$out'"
  [[ ! -e $home/.local/share/portwarden ]] || fail "status, which only reads, made a store"
  run /usr/bin/portwarden-cli add http://www.example.com/ --zone trusted >/dev/null 2>&1 || fail "add failed"
  [[ -f $home/.local/share/portwarden/registry.db ]] || fail "no store was made at the default place"
  out=$(run /usr/bin/portwarden-cli list --format tsv) || fail "list failed"
  grep -q "example.com" <<<"$out" || fail "list printed '$out'"
  out=$(run /usr/bin/portwarden-cli secure) || fail "secure failed"
  [[ $out == secured ]] || fail "secure printed '$out'"
  # The window program on a display, through the platform plugin the package
  # depends on: with the zone secured, "Startup" ends the run without a window.
  local code=0
  run xvfb-run -a env QT_QPA_PLATFORM=xcb timeout 30 /usr/bin/portwarden Startup >"$work/gui" 2>&1 || code=$?
  ((code != 124)) || fail "the window program did not end at once with Startup on a secured store"
  ((code == 0)) || fail "the window program failed ($code): $(cat "$work/gui")"

  dpkg_with_retry -r portwarden || fail "dpkg -r failed"
  installed && fail "the package is still installed after dpkg -r"
  local left=() path
  while read -r path; do
    [[ -e $path || -L $path ]] || continue
    # A folder stays when other packages own it or put files in it.
    if [[ -d $path && ! -L $path ]]; then
      [[ -n $(ls -A "$path") ]] && continue
      dpkg-query -S "$path" >/dev/null 2>&1 && continue
    fi
    left+=("$path")
  done <"$work/files"
  # Nor may the programs have left files of their own beside the package's.
  while read -r path; do left+=("$path"); done < <(find /usr /etc /opt -xdev -newer "$work/stamp" \
    \( -iname '*portwarden*' -o -name 'st6unst.log' \) 2>/dev/null)
  ((${#left[@]} == 0)) || fail "left after dpkg -r: ${left[*]}"
  echo "installed, ran and removed $(basename "$deb"): $(grep -c . "$work/files") paths, none left"
}

case $mode in
  build) build_package ;;
  lint) lint_package ;;
  install) install_package ;;
  *) fail "unknown mode $mode" ;;
esac
