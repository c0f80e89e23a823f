#!/usr/bin/env bash
# The 1920x1080 effect frame of two revisions, measured in turn on this machine:
#   scripts/bench-compare.sh [--build-only] REV [REV2]        REV2 defaults to HEAD
# Each revision's Release benchmark (bench/frame_benchmark) is built once, in a git work
# tree of its own under $QUELLIX_BENCH_CACHE (default ~/.cache/quellix-shine/bench/<commit>).
# The two benchmarks then run alternately, ROUNDS times each (default 5, at least 3), the
# first one first in odd rounds and second in even ones, with llvmpipe's default threads
# and with LP_NUM_THREADS=0 (all drawing on the calling thread). Printed:
# each run's frame time with the passthrough pass beside it, the medians and the ratio
# REV2 / REV. Speed figures only mean something on a quiet machine, so nothing is measured
# while the 1-minute load average is above 0.5.
set -euo pipefail

usage() {
    echo "usage: $0 [--build-only] REV [REV2]" >&2
    exit 2
}
build_only=0
if [[ "${1:-}" == --build-only ]]; then
    build_only=1
    shift
fi
[[ $# -ge 1 && $# -le 2 ]] || usage
repo="$(git -C "$(dirname "$0")" rev-parse --show-toplevel)"
cache="${QUELLIX_BENCH_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quellix-shine/bench}"
rounds="${ROUNDS:-5}"
max_load=0.5
[[ "$rounds" =~ ^[0-9]+$ && "$rounds" -ge 3 ]] || {
    echo "ROUNDS must be a whole number of at least 3" >&2
    exit 2
}

commit() {
    git -C "$repo" rev-parse --verify --quiet "$1^{commit}" || {
        echo "no such revision: $1" >&2
        exit 2
    }
}
a="$(commit "$1")"
b="$(commit "${2:-HEAD}")"

load() { cut -d' ' -f1 /proc/loadavg; }
is_quiet() { awk -v load="$(load)" -v max="$max_load" 'BEGIN { exit !(load <= max) }'; }
refuse_if_busy() {
    if ! is_quiet; then
        echo "load average $(load) is above $max_load: not measuring on a busy machine" >&2
        exit 1
    fi
}

# Builds the benchmark of a commit unless the cache has it.
built_now=0
build() {
    local dir="$cache/$1"
    [[ ! -f "$dir/built" ]] || return 0
    echo "building the benchmark of ${1:0:7} in $dir" >&2
    mkdir -p "$cache"
    git -C "$repo" worktree prune
    [[ -d "$dir/src" ]] || git -C "$repo" worktree add --detach --quiet "$dir/src" "$1"
    if ! { cmake -S "$dir/src" -B "$dir/build" -DCMAKE_BUILD_TYPE=Release \
        -DQUELLIX_BUILD_TESTS=OFF -DQUELLIX_BUILD_BENCHMARKS=ON &&
        cmake --build "$dir/build" -j2 --target frame_benchmark; } >"$dir/build.log" 2>&1; then
        echo "the build of ${1:0:7} failed; see $dir/build.log" >&2
        exit 1
    fi
    touch "$dir/built"
    built_now=1
}

# The load is checked before anything starts (the builds too, so that they do not slow
# anyone else's measurement); --build-only fills the cache whatever the load.
[[ $build_only == 1 ]] || refuse_if_busy
build "$a"
build "$b"
[[ $build_only == 0 ]] || exit 0
if [[ $built_now == 1 ]]; then
    # A build leaves the load high for a minute or two; wait up to five for it to settle.
    for _ in $(seq 30); do
        is_quiet && break
        sleep 10
    done
fi
refuse_if_busy
start_load="$(load)"
bench_a="$cache/$a/build/bench/frame_benchmark"
bench_b="$cache/$b/build/bench/frame_benchmark"

# One run of a benchmark: "effect_ms passthrough_ms" of the 1080p frames; the GL renderer
# and version, where the benchmark names them, go to the file $gl.
gl="$(mktemp)"
trap 'rm -f "$gl"' EXIT
run() {
    local output
    # The benchmark's reporter colours its lines whatever the terminal: colours are dropped.
    output="$(env "${@:2}" "$1" --benchmark_filter='^(EffectFrame|PassthroughFrame)/1920/1080' 2>&1 |
        sed 's/\x1b\[[0-9;]*m//g')" || true
    [[ -s "$gl" ]] || sed -n 's/^GL: //p' <<<"$output" >"$gl"
    awk '$1 ~ /^EffectFrame\/1920\/1080/ { e = $2 } $1 ~ /^PassthroughFrame\/1920\/1080/ { p = $2 }
         END { if (e == "" || p == "") exit 1; print e, p }' <<<"$output" || {
        echo "the benchmark $1 gave no 1080p frame times:" >&2
        echo "$output" >&2
        exit 1
    }
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }

report=""
for setting in "default threads" LP_NUM_THREADS=0; do
    threads=()
    [[ $setting == "default threads" ]] || threads=("$setting")
    report+=$'\n'"$setting: 1920x1080 effect frame in ms (passthrough pass beside it)"$'\n'
    times_a=""
    times_b=""
    passes_a=""
    passes_b=""
    for round in $(seq "$rounds"); do
        echo "$setting, round $round of $rounds" >&2
        if ((round % 2)); then
            times="$(run "$bench_a" "${threads[@]}") $(run "$bench_b" "${threads[@]}")"
        else
            times="$(run "$bench_b" "${threads[@]}")"
            times="$(run "$bench_a" "${threads[@]}") $times"
        fi
        read -r effect_a pass_a effect_b pass_b <<<"$times"
        times_a+="$effect_a"$'\n'
        times_b+="$effect_b"$'\n'
        passes_a+="$pass_a"$'\n'
        passes_b+="$pass_b"$'\n'
        report+="$(printf '  run %d   %s %7.2f (%5.2f)   %s %7.2f (%5.2f)' "$round" \
            "${a:0:7}" "$effect_a" "$pass_a" "${b:0:7}" "$effect_b" "$pass_b")"$'\n'
    done
    median_a="$(median <<<"${times_a%$'\n'}")"
    median_b="$(median <<<"${times_b%$'\n'}")"
    report+="$(printf '  median  %s %7.2f (%5.2f)   %s %7.2f (%5.2f)   ratio %s/%s %.3f' \
        "${a:0:7}" "$median_a" "$(median <<<"${passes_a%$'\n'}")" "${b:0:7}" "$median_b" \
        "$(median <<<"${passes_b%$'\n'}")" "${b:0:7}" "${a:0:7}" \
        "$(awk -v x="$median_b" -v y="$median_a" 'BEGIN { print x / y }')")"$'\n'
done

cpu="$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)"
renderer="$(cat "$gl")"
echo "Machine: $cpu, $(nproc) cores, GL: ${renderer:-not named by either benchmark}"
echo "Load average before the runs: $start_load; $rounds rounds, ${a:0:7} first in odd ones"
echo -n "$report"
