#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Velmora need.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6 libgl-dev fonts-dejavu-core xdotool xclip
  nlohmann-json3-dev libgtest-dev googletest libbenchmark-dev
  clang libclang-rt-14-dev clang-format
  xvfb xauth imagemagick desktop-file-utils xdg-utils
  qt6-translations-l10n qt6ct qt6-l10n-tools qt6-tools-dev
  shared-mime-info libfile-mimeinfo-perl file groff-base librsvg2-bin
  python3 python3-libtorrent time
  dpkg-dev lintian appstream
  mingw-w64 g++-mingw-w64-x86-64-posix wine wine64 ccache
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
