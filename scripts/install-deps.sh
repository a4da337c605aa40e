#!/usr/bin/env bash
# Installs the system packages Tessaryn needs to build and test, when they are missing.
set -euo pipefail
pkgs=(cmake g++ make ninja-build qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev
      libgl1-mesa-dev libglu1-mesa-dev libgl1-mesa-dri xvfb xauth clang libclang-rt-14-dev
      fonts-dejavu-core dpkg-dev appstream x11-utils)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
