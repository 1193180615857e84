#!/usr/bin/env bash
# Installs every Debian package the project builds, tests or runs with.
# Idempotent: when everything is present it only asks dpkg and returns.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config ccache git
  clang libclang-rt-14-dev
  zlib1g-dev libcurl4-openssl-dev libjsoncpp-dev libssl-dev libmbedtls-dev
  libudt-dev libpugixml-dev liblog4cplus-dev
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libx264-dev
  libfaad-dev libspeex-dev
  qt6-base-dev qt6-multimedia-dev qt6-translations-l10n libgl-dev fonts-wqy-microhei
  libgtest-dev libgmock-dev libbenchmark-dev
  openssl iproute2 iptables xvfb xauth desktop-file-utils pulseaudio pulseaudio-utils
  help2man dpkg-dev fakeroot lintian appstream file
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
