#!/usr/bin/env bash
# Installs the Debian packages that build, test and run Tessaro.
set -euo pipefail
packages=(cmake g++ make pkg-config libgtest-dev libgmock-dev libbenchmark-dev socat
  libfluidsynth-dev libsndfile1-dev libasound2-dev timgm6mb-soundfont
  libfltk1.3-dev libfreetype-dev libfontconfig-dev fonts-ipafont-gothic xvfb x11-apps x11-utils
  libxtst-dev
  clang libclang-rt-14-dev)
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
