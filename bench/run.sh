#!/usr/bin/env bash
# Whole-run benchmark: builds what it needs in Release (into build/ unless a build directory is
# given) and runs lcdprog-bench-run, which drives a programming run of the real windows against
# lcdprog-sim (115200 baud, 5 ms page writes) next to a minimal stop-and-wait client, and prints
# one table.
#
#   bench/run.sh [BUILD_DIR] [--repeat N] [lcdprog-bench-run options...]
#
# Options after the build directory go to lcdprog-bench-run: --startups N, --compiles N,
# --stops N. --repeat N runs the whole bench N times (default 1) and prints each table.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$here/build"
if [[ $# -gt 0 && "$1" != --* ]]; then
    build="$(realpath -m "$1")"
    shift
fi
repeat=1
args=()
while [[ $# -gt 0 ]]; do
    case "$1" in
        --repeat) repeat="$2"; shift 2 ;;
        *) args+=("$1"); shift ;;
    esac
done

if [[ ! -f "$build/CMakeCache.txt" ]]; then
    cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
type="$(grep -E '^CMAKE_BUILD_TYPE:' "$build/CMakeCache.txt" | cut -d= -f2)"
if [[ "$type" != "Release" ]]; then
    echo "bench/run.sh: $build is a $type build; timings need Release" >&2
    exit 2
fi
cmake --build "$build" --target lcdprog-bench-run lcdprog-sim lcdprog_backgrounds -j2 >/dev/null

export QT_QPA_PLATFORM=offscreen
status=0
for ((i = 1; i <= repeat; i++)); do
    echo "== run $i of $repeat ($(uptime | sed 's/.*load/load/'))"
    # Qt's offscreen platform chatters on stderr about window hints it cannot honour.
    "$build/bench/lcdprog-bench-run" --bin "$build/bin" "${args[@]}" 2> >(grep -v \
        -e 'propagateSizeHints' -e 'does not support raise' -e 'XDG_RUNTIME_DIR' >&2) || status=$?
done
exit $status
