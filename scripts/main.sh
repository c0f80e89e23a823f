#!/usr/bin/env bash
# Builds the module and the headless host, then shows the module at work.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset dev
cmake --build --preset dev -j"$(nproc)"
build/dev/hostapp/ffgl-host info build/dev/Quellix.so
