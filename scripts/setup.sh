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
  nodejs                # runs the independent LAS reader of the export tests
  libasound2-dev        # sound output (its "null" device plays headless in CI)
  libsndfile1-dev       # decodes the sound and word files
  espeak-ng             # makes the Russian word files (rigstation voice build)
  dpkg-dev fakeroot file lintian   # make package, and the package test that checks it
  chromium              # the web view's browser test (driven by playwright-core)
  gcovr                 # make coverage: line and branch coverage of the library and the program
  ccache                # make coverage and make tsan compile through it
  libcairo2-dev         # draws the mud log to PDF and SVG (rigstation rec plot)
  fonts-dejavu-core     # the mud log's font, the same on every machine that draws it
  poppler-utils         # the mud log tests render its PDF (pdftoppm) and count pages (pdfinfo)
  libpq-dev             # the office link's database client (libpq: TLS, authentication)
  postgresql            # the office database the tests start as their own server
  openssl               # the certificates of the office link's TLS test
  libsodium-dev         # the office accounts' password hashes (argon2id) and session tokens
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

# The LAS reader the export tests check against, from the npm registry.
install_las_check() {
  local dir
  dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/tests/las_check"
  if [ ! -d "$dir/node_modules/las-js" ]; then
    # Some node builds carry npm, Debian's comes apart.
    if ! command -v npm >/dev/null; then
      ${SUDO:-} apt-get install -y -q --no-install-recommends npm
    fi
    (cd "$dir" && npm install --no-audit --no-fund --silent)
  fi
}

# The web view's chart library (built into the program) and the browser driver of its test.
install_web_page() {
  local dir
  dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/web"
  if [ ! -f "$dir/node_modules/uplot/dist/uPlot.iife.min.js" ] ||
     [ ! -d "$dir/node_modules/playwright-core" ]; then
    if ! command -v npm >/dev/null; then
      ${SUDO:-} apt-get install -y -q --no-install-recommends npm
    fi
    (cd "$dir" && npm ci --no-audit --no-fund --silent)
  fi
}

if [ ${#missing[@]} -eq 0 ]; then
  install_las_check
  install_web_page
  exit 0
fi

echo "setup: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
install_las_check
install_web_page
