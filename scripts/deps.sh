#!/usr/bin/env bash
# Installs the Debian packages Stintkeeper needs to build and test, when any is missing.
# Quick when everything is in place; uses sudo when not run as root.
set -euo pipefail

packages=(build-essential cmake pkg-config libsdl1.2-dev libsdl-net1.2-dev libirrlicht-dev
          libgtest-dev g++-mingw-w64-x86-64-posix libcivetweb-dev libmosquitto-dev nlohmann-json3-dev mosquitto openssl
          chromium nodejs "$@")
# The page's browser test: Debian's chromium, and npm unless the Node.js installed brings its own.
command -v npm >/dev/null || packages+=(npm)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
