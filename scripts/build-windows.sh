#!/usr/bin/env bash
# Cross-builds the module for 64-bit Windows with mingw-w64 and runs the Windows tests
# under Wine; the module is left at build/windows/Quellix.dll.
#   scripts/build-windows.sh              build and test
#   scripts/build-windows.sh --no-tests   build only
# Installs the Debian packages it needs when they are missing, and fetches GLEW's source
# into a cache outside the tree (scripts/fetch-glew.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
run_tests=1
case "${1:-}" in
  "") ;;
  --no-tests) run_tests=0 ;;
  *) echo "usage: scripts/build-windows.sh [--no-tests]" >&2; exit 2 ;;
esac

scripts/install-deps.sh windows
cmake --preset windows
cmake --build --preset windows -j"$(nproc)"

if [ "$run_tests" -eq 1 ]; then
  # One test renders a scene through the Linux module too, for a byte comparison.
  cmake --preset ci
  cmake --build --preset ci -j"$(nproc)" --target Quellix scene_render
  # One virtual X display for the whole run; Wine's OpenGL draws through it.
  xvfb-run -a -s "-screen 0 1024x768x24" ctest --preset windows -j"$(nproc)"
fi
echo "Windows module: build/windows/Quellix.dll"
