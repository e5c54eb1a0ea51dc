#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need,
# but only those that are missing, so a second run costs nothing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config ccache
  qt6-base-dev libgl-dev libcups2-dev libsqlite3-dev sqlite3
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-ocr-a fonts-liberation2 fonts-dejavu-core fontconfig
  zbar-tools zint poppler-utils python3-dbfread python3-dbf shapelib
  pgdbf libdbd-xbase-perl libreoffice-calc-nogui libreoffice-base-drivers
  locales xvfb xauth clang libclang-rt-14-dev
  procps xdg-utils desktop-file-utils
  cups-daemon cups-client cups-core-drivers cups-filters-core-drivers ghostscript
)
# Node.js and npm (for the ZIP-code table) may come from elsewhere than Debian, with npm
# bundled: then Debian's npm package conflicts with it, so only the commands count.
command -v node >/dev/null || packages+=(nodejs)
command -v npm >/dev/null || packages+=(npm)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "Need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  sudo="sudo"
fi
# sudo drops the caller's environment, so the frontend is set on apt-get's own
# command line; otherwise debconf asks questions, or fails without a terminal.
# A machine fresh from its first boot often has its daily apt run going: wait
# for dpkg's lock, and retry the list update, whose lock has no wait of its own.
apt_get() { $sudo env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 "$@"; }
for try in 1 2 3 4 5 6; do
  apt_get update -qq && break
  [ "$try" -eq 6 ] && exit 1
  sleep 20
done
apt_get install -y -qq --no-install-recommends "${missing[@]}"
