#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the program need.
# Idempotent and non-interactive: packages already present are skipped.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  qt6-base-dev libicu-dev libjpeg62-turbo-dev libgif-dev libarchive-dev
  fonts-noto-cjk libsqlite3-dev libgtest-dev libgmock-dev libbenchmark-dev
  libxml2-utils lhasa libarchive-tools poppler-utils xvfb
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
