#!/usr/bin/env bash
# Installs every Debian package that the build, the tests and the demo need.
# Safe to run again: packages already present are skipped without touching apt.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  qtbase5-dev qtbase5-dev-tools qttools5-dev-tools qttranslations5-l10n libqt5svg5-dev
  libcurl4-openssl-dev curl
  qtkeychain-qt5-dev libsecret-1-0 gnome-keyring dbus-daemon dbus-bin
  libzip-dev libdtl-dev
  libreoffice-writer-nogui libreoffice-impress-nogui python3-uno
  libboost-dev libcpp-httplib-dev nlohmann-json3-dev libsqlite3-dev libsodium-dev libssl-dev
  openssl
  libgtest-dev googletest
  clang libclang-rt-14-dev
  xvfb xauth x11-apps imagemagick xcompmgr fonts-wqy-microhei
  nginx python3 tinyproxy microsocks openssl
  chromium chromium-driver python3-selenium
  desktop-file-utils appstream dpkg-dev systemd
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
