#!/usr/bin/env bash
# Sets everything up, builds, and starts the program on its bundled default
# installation. Until the windowed program exists, this runs the engine probe,
# which loads the engine through its exports and reports what it found.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/build.sh
export SARVENU_REGISTRY=${SARVENU_REGISTRY:-$(pwd)/build/registry.reg}
exec build/bin/pelmora-probe
