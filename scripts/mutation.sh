#!/usr/bin/env bash
# Measures how many seeded faults the test suite notices. Each fault of the list
# (scripts/mutation-faults.txt) is applied alone to a copy of the tree, the affected test
# binaries are rebuilt incrementally and run, and the fault counts as killed when one of
# them fails (or no longer builds). The copy lives outside the checkout, so work in the
# checkout can go on meanwhile.
#
#   scripts/mutation.sh [-r REV] [-f FAULTS] [-w WORKDIR] [FAULT_NUMBER...]
#
# -r REV     the commit whose code and tests are measured (default: the working tree)
# -f FAULTS  the fault list (default: scripts/mutation-faults.txt of the working tree)
# -w WORKDIR where the copy and its build go (default: /tmp/quellix-mutation-<REV>)
# FAULT_NUMBER...  run only these faults (1-based, in list order)
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
rev=""
faults="$root/scripts/mutation-faults.txt"
work=""
while getopts "r:f:w:" option; do
    case "$option" in
        r) rev="$OPTARG" ;;
        f) faults="$(realpath "$OPTARG")" ;;
        w) work="$OPTARG" ;;
        *) exit 2 ;;
    esac
done
shift $((OPTIND - 1))
work="${work:-/tmp/quellix-mutation-${rev:-worktree}}"
tree="$work/tree"
build="$work/build"
mkdir -p "$work"

# A fresh copy of the sources; the build folder is kept, so a rerun is incremental.
rm -rf "$tree"
mkdir -p "$tree"
if [ -n "$rev" ]; then
    git archive "$rev" | tar -x -C "$tree"
else
    git ls-files -z --cached --others --exclude-standard | tar -c --null -T - | tar -x -C "$tree"
fi

cmake -S "$tree" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUELLIX_BUILD_BENCHMARKS=OFF -DQUELLIX_WARNINGS_AS_ERRORS=OFF >"$work/configure.log"

declare -A target_of=(
    [unit]=unit_tests [module]=module_tests [lifecycle]=lifecycle_tests
    [hostunit]=host_unit_tests [e2e]=host_e2e_tests [alloc]=alloc_failure_tests)
available_targets="$(cmake --build "$build" --target help)"

has_target() { grep -q "^\.\.\. $1\$" <<<"$available_targets"; }
binary_of() { find "$build/tests" -type f -name "$1" -perm -u+x | head -n1; }

# Builds and runs the named test binaries; answers 0 when all pass, 1 when one fails,
# 2 when the code does not build.
run_binaries() {
    local targets=() name
    for name in "$@"; do
        if has_target "${target_of[$name]}"; then
            targets+=("${target_of[$name]}")
        fi
    done
    if ! cmake --build "$build" -j2 --target "${targets[@]}" >"$work/build.log" 2>&1; then
        return 2
    fi
    local target
    for target in "${targets[@]}"; do
        if ! (cd "$build" && timeout 600 "$(binary_of "$target")" --gtest_fail_fast \
            --gtest_brief=1 >"$work/test.log" 2>&1); then
            return 1
        fi
    done
    return 0
}

# Replaces the one occurrence of OLD by NEW in FILE (\n in either means a line break).
apply_fault() {
    python3 - "$1" "$2" "$3" <<'PYTHON'
import sys
path, old, new = sys.argv[1], sys.argv[2].replace("\\n", "\n"), sys.argv[3].replace("\\n", "\n")
text = open(path).read()
if text.count(old) != 1:
    sys.exit(f"{path}: the fault's text occurs {text.count(old)} times")
open(path, "w").write(text.replace(old, new))
PYTHON
}

mapfile -t lines < <(grep -v '^#' "$faults" | grep -v '^[[:space:]]*$')
selected=("$@")
echo "Baseline: every test binary must pass on the unchanged tree."
if ! run_binaries unit module hostunit e2e alloc; then
    echo "the unchanged tree fails its tests; see $work/test.log and $work/build.log" >&2
    exit 1
fi

killed=0
total=0
survivors=()
for index in "${!lines[@]}"; do
    number=$((index + 1))
    if [ ${#selected[@]} -gt 0 ] && ! printf '%s\n' "${selected[@]}" | grep -qx "$number"; then
        continue
    fi
    IFS=$'\x1f' read -r file old new binaries \
        <<<"$(sed 's/ ||| /\x1f/g' <<<"${lines[$index]}")"
    cp "$tree/$file" "$work/original"
    if ! apply_fault "$tree/$file" "$old" "$new"; then
        echo "fault $number: cannot be applied" >&2
        exit 1
    fi
    total=$((total + 1))
    set +e
    # shellcheck disable=SC2086
    run_binaries $binaries
    outcome=$?
    set -e
    case "$outcome" in
        0) verdict="SURVIVED"; survivors+=("$number: $file: $old -> $new") ;;
        1) verdict="killed"; killed=$((killed + 1)) ;;
        *) verdict="killed (does not build)"; killed=$((killed + 1)) ;;
    esac
    printf '%3d %-24s %s: %s\n' "$number" "$verdict" "$file" "$old"
    cp "$work/original" "$tree/$file"
done

echo
echo "Killed $killed of $total seeded faults."
if [ ${#survivors[@]} -gt 0 ]; then
    echo "Survivors:"
    printf '  %s\n' "${survivors[@]}"
fi
