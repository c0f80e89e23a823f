#!/usr/bin/env bash
# The main job: builds the module and the headless host, then renders the built-in test
# picture through the module into out/: every frame, a contact sheet and the thumbnail.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset dev
cmake --build --preset dev -j"$(nproc)"
build/dev/hostapp/ffgl-host info build/dev/Quellix.so --thumbnail out/thumbnail.png
build/dev/hostapp/ffgl-host render build/dev/Quellix.so --out out/frames --sheet out/sheet.png
