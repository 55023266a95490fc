#!/usr/bin/env bash
# Builds, then renders every tab of the main window in both modes and prints
# every form of the sample work, and the summary page and its printed
# summary over the sample and two more works, for review: PNGs of the tabs,
# of the summary page and of the printed pages (through pdftoppm) in
# build/review/.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/build.sh
export SARVENU_REGISTRY=${SARVENU_REGISTRY:-$(pwd)/build/registry.reg}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
out=build/review
rm -rf "$out"
build/bin/sarvenu-snapshot build/installation "$out"
for pdf in "$out"/*-print/*.pdf; do
  pdftoppm -r 60 -png "$pdf" "${pdf%.pdf}"
done
echo "review images in $out"
