#!/usr/bin/env bash
# Regenerates docs/images/: the programmer's windows during and after a whole programming run
# against the virtual LCD module (on a virtual X display), the production station programming
# four of them at once, and the pictures the module rendered from what it received.
#   scripts/screenshots.sh                          builds (Release, in build/) when needed
#   LCDPROG_BUILD_DIR=build-x scripts/screenshots.sh   uses another build folder
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh

build=${LCDPROG_BUILD_DIR:-build}
images=docs/images

# Xvfb and xauth are only needed here, not to build or run the programmer.
lcdprog_ensure_packages "${LCDPROG_BUILD_PACKAGES[@]}" xvfb xauth
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target lcdprog-sim lcdprog-cli lcdprog-screenshots

work=$(mktemp -d "${TMPDIR:-/tmp}/lcdprog-shots.XXXXXX")
sim_pid=""
shots_pid=""
bench_pids=()

# Stops the module (SIGTERM: it saves its EEPROM and pictures on the way out), waiting at most
# 10 s before SIGKILL. Returns the module's exit status.
stop_sim() {
    local status=0
    [ -n "$sim_pid" ] || return 0
    kill -TERM "$sim_pid" 2>/dev/null || true
    for _ in $(seq 100); do
        kill -0 "$sim_pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$sim_pid" 2>/dev/null; then
        echo "screenshots: the virtual module did not end within 10 s; killing it" >&2
        kill -KILL "$sim_pid" 2>/dev/null || true
    fi
    wait "$sim_pid" 2>/dev/null || status=$?
    sim_pid=""
    return "$status"
}

cleanup() {
    if [ -n "$shots_pid" ] && kill -0 "$shots_pid" 2>/dev/null; then
        kill -TERM "$shots_pid" 2>/dev/null || true
        wait "$shots_pid" 2>/dev/null || true
    fi
    stop_sim || true
    for pid in "${bench_pids[@]}"; do
        kill -TERM "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

fail() {
    echo "screenshots: $*" >&2
    for log in "$work/sim.err" "$work/shots.err"; do
        if [ -s "$log" ]; then
            echo "--- $(basename "$log")" >&2
            tail -n 20 "$log" >&2
        fi
    done
    exit 1
}

link="$work/lcd"
"$build/bin/lcdprog-sim" --link "$link" --png "$work/module" --eeprom "$work/eeprom.bin" \
    --page-ms 0 >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!

# The module prints its device once the link is in place.
for _ in $(seq 100); do
    [ -s "$work/sim.out" ] && [ -e "$link" ] && break
    kill -0 "$sim_pid" 2>/dev/null || fail "the virtual module ended at start"
    sleep 0.1
done
[ -e "$link" ] || fail "the virtual module did not make $link within 10 s"
echo "Virtual module on $(head -n 1 "$work/sim.out") ($link)"

# Three more modules for the production station's picture, the last one failing at block 100;
# the serial window's COM 1 stays the first module.
ports="$link"
for name in lcd2 lcd3 lcd4; do
    fault=()
    [ "$name" = lcd4 ] && fault=(--fault badsum:block=100)
    "$build/bin/lcdprog-sim" --link "$work/$name" --quiet "${fault[@]}" \
        >"$work/$name.out" 2>"$work/$name.err" &
    bench_pids+=("$!")
    ports="$ports:$work/$name"
done
for name in lcd2 lcd3 lcd4; do
    for _ in $(seq 100); do
        [ -e "$work/$name" ] && break
        sleep 0.1
    done
    [ -e "$work/$name" ] || fail "the virtual module $name did not start within 10 s"
done

# A whole run takes a few seconds; three minutes covers every wait of a failing one. In the
# background and waited for, so that a signal to this script is handled at once (a foreground
# child would hold it back until the child ends); timeout passes a TERM on to all it started.
LCDPROG_PORTS="$ports" QT_QPA_PLATFORM=xcb timeout --kill-after=10 180 \
    xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$build/bin/lcdprog-screenshots" --memory-image "$work/image.bin" "$work/shots" \
    >"$work/shots.out" 2>"$work/shots.err" &
shots_pid=$!
shots_status=0
wait "$shots_pid" || shots_status=$?
shots_pid=""
[ "$shots_status" -eq 0 ] || fail "lcdprog-screenshots failed (exit status $shots_status)"

stop_sim || fail "the virtual module ended with an error"
cmp -s "$work/eeprom.bin" "$work/image.bin" ||
    fail "the module's EEPROM differs from the memory image the programmer sent"

# The module's pictures worth showing: the panels that got a demo picture, and both glyphs.
mkdir -p "$work/module-selection"
for name in 64128A_1 64240B_1 128240A_1 glyph_5x8 glyph_10x16; do
    [ -s "$work/module/$name.png" ] || fail "the virtual module wrote no $name.png"
    cp "$work/module/$name.png" "$work/module-selection/module-$name.png"
done

mkdir -p "$images"
rm -f "$images"/*.png
cp "$work"/shots/*.png "$work"/module-selection/*.png "$images"/
echo "Pictures written to $images/:"
ls -1 "$images"
