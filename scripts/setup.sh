#!/usr/bin/env bash
# Installs every Debian package that building, testing and running Windhollow needs.
# Idempotent and quiet when everything is already there.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  libgtest-dev
  libsdl2-dev libglew-dev libimgui-dev libstb-dev libtinygltf-dev
  libbullet-dev
  libcurl4-openssl-dev libspng-dev libturbojpeg0-dev
  nlohmann-json3-dev libfmt-dev libglm-dev
  libcpp-httplib-dev
  libopenal-dev libasound2-dev
  xvfb xauth libgl1-mesa-dri xdotool
  desktop-file-utils
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
