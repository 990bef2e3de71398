#!/usr/bin/env bash
# Installs the Debian packages Packvault needs to build, test and run.
# Does nothing for packages already present; needs root (or sudo) otherwise.
set -euo pipefail
pkgs=(cmake g++ make pkg-config libzip-dev libdeflate-dev zlib1g-dev libssl-dev libgtest-dev
      libgmock-dev libbenchmark-dev p7zip-full unzip python3-dbfread tmux procps clang strace
      dpkg-dev debootstrap)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
