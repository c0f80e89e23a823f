#!/usr/bin/env bash
# Frames per second of ffmpeg running Quellix Shine through the frei0r bridge (`-f null`)
# at 1280x720 and 1920x1080, beside the effect's own rate from frame_benchmark measured
# in the same sitting, and ffmpeg's rate with no filter (its own share of the time).
#   bench/frei0r_bench.sh [BUILD_DIR] [FRAMES]     default build/dev, 240 frames
# The bridge's transport (copies into shared memory, upload, readback, the socket round
# trip) is the difference between the effect's rate and the bridge's.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/dev}"
frames="${2:-240}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

"$build/hostapp/ffgl-host" frei0r "$build/Quellix.so" --out "$work" >/dev/null
export FREI0R_PATH="$work"

# ffmpeg_fps SIZE [FILTER]: frames per second of the whole ffmpeg run, from its wall time.
ffmpeg_fps() {
  local size=$1 filter=${2:-}
  local args=(-hide_banner -nostdin -benchmark -f lavfi
    -i "testsrc2=size=$size:rate=60,format=rgba" -frames:v "$frames")
  [ -n "$filter" ] && args+=(-vf "$filter")
  ffmpeg "${args[@]}" -f null - 2>&1 |
    sed -n 's/.*rtime=\([0-9.]*\)s.*/\1/p' | awk -v n="$frames" '{printf "%.1f", n / $1}'
}

# The effect's own frame time (real time, with glFinish) in ms -> frames per second.
"$build/bench/frame_benchmark" --benchmark_filter='^EffectFrame/(1280/720|1920/1080)/' \
  --benchmark_out="$work/effect.csv" --benchmark_out_format=csv >/dev/null 2>&1
effect=$(awk -F, '/EffectFrame/ {unit = $5; t = $3; if (unit == "ms") t *= 1e6;
  if (unit == "us") t *= 1e3; printf "%s %.1f\n", $1, 1e9 / t}' "$work/effect.csv")
effect720=$(echo "$effect" | awk '/1280/ {print $2}')
effect1080=$(echo "$effect" | awk '/1920/ {print $2}')

echo "machine: $(nproc) cores, $(glxinfo -B 2>/dev/null | sed -n 's/.*renderer string: //p' || true)"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-10s %12s %12s %12s %10s\n' size "effect fps" "bridge fps" "no filter" "bridge/effect"
for size in 1280x720 1920x1080; do
  bridge=$(ffmpeg_fps "$size" "frei0r=quellix_shine")
  plain=$(ffmpeg_fps "$size")
  case $size in 1280x720) e=$effect720 ;; *) e=$effect1080 ;; esac
  printf '%-10s %12s %12s %12s %9.0f%%\n' "$size" "$e" "$bridge" "$plain" \
    "$(awk -v b="$bridge" -v e="$e" 'BEGIN {print 100 * b / e}')"
done
