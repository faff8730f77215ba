#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and only those that are missing,
# so a second run installs nothing. Run as root on Debian 12.
set -euo pipefail

packages=(
  g++ cmake ninja-build
  qt6-base-dev qt6-serialport-dev
  libgtest-dev libgmock-dev
  pkg-config libmicrohttpd-dev nlohmann-json3-dev
  libmosquitto-dev mosquitto mosquitto-clients
  clang libclang-rt-14-dev
  fonts-ipafont-gothic
  xvfb xauth
  python3 python3-selenium chromium chromium-driver
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "setup: missing packages: ${missing[*]}; run as root to install them" >&2
  exit 1
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends "${missing[@]}"
