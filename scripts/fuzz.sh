#!/usr/bin/env bash
# Builds the plugMain fuzz target with clang and runs it for a bounded time (seconds,
# default 60) from the committed seed corpus. Any crash, sanitizer report or leak fails.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"

scripts/install-deps.sh
cmake --preset fuzz
cmake --build --preset fuzz -j"$(nproc)"

# New inputs go to a scratch corpus, so the committed seeds stay as they are; a failing
# input is kept as build/fuzz/crash-* (or leak-*, timeout-*) to become a regression test.
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
build/fuzz/fuzz/plugmain_fuzzer -max_total_time="$seconds" -print_final_stats=1 \
  -artifact_prefix=build/fuzz/ "$work" fuzz/corpus
