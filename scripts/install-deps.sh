#!/usr/bin/env bash
# Installs every Debian package that epub2pdf needs to build, run and test.
# Safe to run again; works as root or through sudo.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang clang-format clang-tidy
  libgtest-dev libgmock-dev
  libpodofo-dev libqpdf-dev libicu-dev libpugixml-dev nlohmann-json3-dev zlib1g-dev libcurl4-openssl-dev libfmt-dev
  qt6-base-dev qt6-base-dev-tools libqt6svg6
  chromium
  libcli11-dev gettext man-db python3-pyte qt6-l10n-tools qt6-translations-l10n openbox
  qpdf poppler-utils zip unzip python3 xauth xvfb tmux
  fonts-noto-cjk fonts-dejavu-core
)

if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -q
  "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
