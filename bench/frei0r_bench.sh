#!/usr/bin/env bash
# Frames per second of ffmpeg running Quellix Shine through the frei0r bridge (`-f null`)
# at 1280x720 and 1920x1080, beside the effect's own rate from frame_benchmark in the
# same sitting, and ffmpeg's rate with no filter (its own share of the time).
#   bench/frei0r_bench.sh [BUILD_DIR] [FRAMES]     default build/dev, 240 frames
# The bridge's transport (copies into shared memory, upload, readback, the socket round
# trip) is the bridge's frame time less the effect's and less ffmpeg's own. Wall-clock
# figures suffer from other load on the machine; the second table runs llvmpipe in the
# calling thread (LP_NUM_THREADS=0) and compares CPU time (ffmpeg and its worker), which
# other processes disturb far less.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/dev}"
frames="${2:-240}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

"$build/hostapp/ffgl-host" frei0r "$build/Quellix.so" --out "$work" >/dev/null
# The tests' hostile plug-in, left alone, draws nothing: through the bridge it costs the
# transport alone.
noop="$build/tests/host/host_fixture_hostile.so"
[ -e "$noop" ] && "$build/hostapp/ffgl-host" frei0r "$noop" --out "$work" >/dev/null
export FREI0R_PATH="$work"

# ffmpeg_ms SIZE wall|cpu [FILTER]: milliseconds per frame of a whole ffmpeg run.
ffmpeg_ms() {
  local size=$1 clock=$2 filter=${3:-}
  local args=(-hide_banner -nostdin -v error -f lavfi
    -i "testsrc2=size=$size:rate=60,format=rgba" -frames:v "$frames")
  [ -n "$filter" ] && args+=(-vf "$filter")
  local TIMEFORMAT='%R %U %S' times
  times=$({ time ffmpeg "${args[@]}" -f null - 2>/dev/null; } 2>&1)
  echo "$times" | awk -v n="$frames" -v c="$clock" \
    '{printf "%.3f", 1000 * (c == "wall" ? $1 : $2 + $3) / n}'
}

# effect_ms wall|cpu: the effect's own frame time at both sizes, "720 1080".
effect_ms() {
  "$build/bench/frame_benchmark" --benchmark_filter='^EffectFrame/(1280/720|1920/1080)/' \
    --benchmark_out="$work/effect.csv" --benchmark_out_format=csv >/dev/null 2>&1
  awk -F, -v c="$1" '/EffectFrame/ {t = c == "wall" ? $3 : $4;
    if ($5 == "ns") t /= 1e6; if ($5 == "us") t /= 1e3; printf "%.3f ", t}' "$work/effect.csv"
}

table() {
  local clock=$1 effects
  read -r -a effects <<<"$(effect_ms "$clock")"
  printf '%-10s %10s %10s %10s %13s %10s\n' "$clock" "effect ms" "bridge ms" "ffmpeg ms" \
    "transport ms" "of effect"
  local i=0
  for size in 1280x720 1920x1080; do
    local bridge plain
    bridge=$(ffmpeg_ms "$size" "$clock" "frei0r=quellix_shine")
    plain=$(ffmpeg_ms "$size" "$clock")
    awk -v s="$size" -v b="$bridge" -v e="${effects[$i]}" -v p="$plain" 'BEGIN {
      t = b - e - p
      printf "%-10s %10.2f %10.2f %10.2f %13.2f %9.0f%%   bridge %.1f fps, effect %.1f fps\n",
        s, e, b, p, t, 100 * t / e, 1000 / b, 1000 / e }'
    if [ -e "$noop" ]; then
      local alone
      alone=$(ffmpeg_ms "$size" "$clock" "frei0r=hostile")
      awk -v s="$size" -v a="$alone" -v e="${effects[$i]}" -v p="$plain" 'BEGIN {
        printf "%-10s transport measured with a plug-in that draws nothing: %.2f ms, %.0f%% of the effect\n",
          s, a - p, 100 * (a - p) / e }'
    fi
    i=$((i + 1))
  done
}

echo "machine: $(nproc) cores, Mesa $(dpkg-query -W -f='${Version}' libgl1-mesa-dri 2>/dev/null || echo '?')"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
table wall
LP_NUM_THREADS=0 table cpu
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
