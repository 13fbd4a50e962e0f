#!/usr/bin/env bash
# Demo without hardware: starts the virtual LCD module (lcdprog-sim) on a pseudo-terminal, then
# the programmer with that module as its only serial port, "COM 1". When the programmer ends,
# the module is stopped and the script says where the module's EEPROM and the pictures of what
# the panels would show are.
#
#   scripts/demo.sh [BIN_DIR]      BIN_DIR holds lcdprog and lcdprog-sim (default: build/bin)
#
# The module's files go to $LCDPROG_DEMO_DIR, by default ~/.cache/lcdprog-demo.
set -euo pipefail

bin_dir=${1:-build/bin}
programmer=$bin_dir/lcdprog
module=$bin_dir/lcdprog-sim
for exe in "$programmer" "$module"; do
    if [ ! -x "$exe" ]; then
        echo "demo: $exe is missing; build first (./run.sh --demo builds and starts the demo)." >&2
        exit 1
    fi
done

user_name=${USER:-$(id -un)}
runtime_dir=${XDG_RUNTIME_DIR:-/tmp}/lcdprog-demo-$user_name
output_dir=${LCDPROG_DEMO_DIR:-${XDG_CACHE_HOME:-${HOME:-/tmp}/.cache}/lcdprog-demo}
link=$runtime_dir/lcd-module
eeprom=$output_dir/eeprom.bin
pictures=$output_dir/pictures
module_log=$output_dir/module.log

mkdir -p "$runtime_dir" "$output_dir"
chmod 700 "$runtime_dir"

# One demo at a time per user: a second one would move the first one's link.
exec 9>"$runtime_dir/lock"
if ! flock -n 9; then
    echo "demo: another demo is already running for $user_name (lock $runtime_dir/lock)." >&2
    exit 1
fi

cat <<EOF
Programmatore LCD grafici - demo with a virtual LCD module (no hardware needed)

  1. In the main window open the menu "Comunicazione" and choose "Attiva/Disattiva seriale".
  2. In the window "Comunicazione seriale verso modulo LCD" the virtual module is "COM 1":
     press "ON".
  3. Press "Scrivi modulo LCD". The trace shows each packet, the counters reach 514 and the
     progress bar runs to the end (about three seconds).
  4. Close the programmer's windows: it ends when the last one is closed. The module's EEPROM
     and pictures of what the four panel types would show are then in $output_dir.

  Right-click a picture to choose your own 1-bit bitmap before step 3, or toggle cells of the
  glyphs on the tab of the fonts: the pictures show the result.

EOF

module_pid=
programmer_pid=
module_out=$runtime_dir/module.out

# shellcheck disable=SC2317  # called by the EXIT trap
stop_module() {
    local status=$?
    trap - EXIT INT TERM HUP
    # Interrupted while the programmer runs: it goes first, then the module.
    if [ -n "$programmer_pid" ] && kill -0 "$programmer_pid" 2>/dev/null; then
        kill -TERM "$programmer_pid" 2>/dev/null || true
        wait "$programmer_pid" 2>/dev/null || true
    fi
    if [ -n "$module_pid" ] && kill -0 "$module_pid" 2>/dev/null; then
        kill -TERM "$module_pid" 2>/dev/null || true
        # It saves the EEPROM and draws the pictures on its way out; never wait for ever.
        for _ in $(seq 50); do
            kill -0 "$module_pid" 2>/dev/null || break
            sleep 0.1
        done
        if kill -0 "$module_pid" 2>/dev/null; then
            echo "demo: the virtual module did not stop; killing it." >&2
            kill -KILL "$module_pid" 2>/dev/null || true
        fi
        wait "$module_pid" 2>/dev/null || true
    fi
    rm -f "$module_out"
    echo
    echo "Virtual module stopped."
    if [ -f "$eeprom" ]; then
        echo "  EEPROM (65,536 bytes):  $eeprom"
    fi
    if compgen -G "$pictures/*.png" >/dev/null; then
        echo "  Pictures of the panels: $pictures/"
        echo "      64128A_1..4.png, 64128E_1..4.png, 64240B_1..4.png, 128240A_1..4.png,"
        echo "      glyph_5x8.png, glyph_10x16.png"
    fi
    echo "  Packets the module saw: $module_log"
    exit "$status"
}
trap stop_module EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

rm -f "$module_out"
"$module" --link "$link" --eeprom "$eeprom" --png "$pictures" --log \
    >"$module_out" 2>"$module_log" &
module_pid=$!

# The first line of its output is the device, printed once the link is in place.
device=
for _ in $(seq 50); do
    if [ -s "$module_out" ]; then
        device=$(head -n 1 "$module_out")
        break
    fi
    if ! kill -0 "$module_pid" 2>/dev/null; then
        break
    fi
    sleep 0.1
done
if [ -z "$device" ]; then
    echo "demo: the virtual module did not start within 5 s; its messages:" >&2
    cat "$module_log" >&2 || true
    exit 1
fi
echo "Virtual LCD module on $device (link $link), files in $output_dir"
echo

# In the background and waited for, so that a signal to this script is handled at once (a
# foreground child would hold it back until the programmer ends).
LCDPROG_PORTS=$link "$programmer" &
programmer_pid=$!
status=0
wait "$programmer_pid" || status=$?
programmer_pid=
exit "$status"
