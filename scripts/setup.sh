#!/usr/bin/env bash
# Installs the Debian packages the project builds with, only when some are missing.
# Safe to run again and again; works as root on a fresh Debian 12 machine.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libboost1.81-dev      # Signals2, CRC, Asio, Math interpolators (header-only)
  libicu-dev            # Cyrillic lower-casing and CP1251 conversion
  libssl-dev            # AES-256-CBC of the 2017 field bus
  libserialport-dev     # serial port enumeration
  libsimpleini-dev      # INI files
  libfmt-dev libcli11-dev nlohmann-json3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang-14 libclang-rt-14-dev   # libFuzzer targets
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

echo "setup: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
