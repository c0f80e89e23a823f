#!/usr/bin/env bash
# Builds everything with warnings as errors and runs every test.
#   scripts/test.sh          the normal build (preset "ci")
#   scripts/test.sh asan     the AddressSanitizer + UndefinedBehaviorSanitizer build
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-ci}"

scripts/install-deps.sh
cmake --preset "$preset"
cmake --build --preset "$preset" -j"$(nproc)"
ctest --preset "$preset" -j"$(nproc)"
