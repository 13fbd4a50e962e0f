#!/usr/bin/env bash
# Builds the programmer (Release, in build/) and starts it.
#   ./run.sh          start the programmer; as --demo when this user can open no serial port
#   ./run.sh --demo   start the virtual LCD module too, attached as COM 1
# Only what is started is built, in the build/ folder ./test.sh uses, so ./test.sh reuses it;
# lcdprog-cli, which the production station runs, is built once the window is up.
# The first start takes about a minute; later ones are immediate.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh

demo=0
case "${1:-}" in
    --demo) demo=1 ;;
    "") ;;
    -h | --help)
        sed -n '2,6p' "$0"
        exit 0
        ;;
    *)
        echo "usage: ./run.sh [--demo]" >&2
        exit 2
        ;;
esac

# Why this user cannot use a serial device, or nothing when it can: the device must be a real
# port (a ttyS whose UART is absent has sysfs type 0) that this user may read and write.
why_unusable() {
    local dev=$1 name=${1#/dev/} user owner group mode
    if [[ $name == ttyS* ]] && [ "$(cat "/sys/class/tty/$name/type" 2>/dev/null)" = 0 ]; then
        echo "no serial port behind it (no UART)"
        return
    fi
    if [ -r "$dev" ] && [ -w "$dev" ]; then
        return
    fi
    user=$(id -un)
    read -r owner group mode < <(stat -L -c '%U %G %A' "$dev")
    if [ "$group" != root ] && [ "${mode:4:2}" = rw ]; then
        echo "$mode $owner:$group, and $user is not in the group $group" \
            "(sudo adduser $user $group, then log out and in again)"
    else
        echo "$mode $owner:$group, only $owner may open it"
    fi
}

# The demo starts by itself when no serial device is usable, unless LCDPROG_PORTS names the
# ports (then the table is as written).
if [ "$demo" -eq 0 ] && [ -z "${LCDPROG_PORTS:-}" ]; then
    usable=0
    skipped=()
    for dev in /dev/ttyUSB* /dev/ttyACM* /dev/ttyS[0-9]*; do
        [ -e "$dev" ] || continue
        reason=$(why_unusable "$dev")
        if [ -z "$reason" ]; then
            usable=1
            break
        fi
        skipped+=("  $dev: $reason")
    done
    if [ "$usable" -eq 0 ]; then
        if [ "${#skipped[@]}" -eq 0 ]; then
            echo "No serial device on this machine: starting the virtual LCD module (demo mode)."
        else
            echo "No serial port this user can open: starting the virtual LCD module (demo mode)."
            echo "Serial devices skipped:"
            printf '%s\n' "${skipped[@]}"
        fi
        demo=1
    fi
fi

lcdprog_ensure_packages "${LCDPROG_BUILD_PACKAGES[@]}"

# The compiler's output goes to a log, shown only when the build fails.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
quietly() {
    if ! "$@" >"$log" 2>&1; then
        grep -v '^\[[0-9]*/[0-9]*\] ' "$log" >&2
        exit 1
    fi
}
generator=$(lcdprog_generator_option)
if [ ! -f build/CMakeCache.txt ] || { [ -n "$generator" ] && [ ! -f build/build.ninja ]; }; then
    echo "Configuring the build in build/ ..."
    quietly cmake -S . -B build ${generator:+"$generator"} -DCMAKE_BUILD_TYPE=Release
fi
# One build at a time in build/ (this one, the one below left running, ./test.sh's): two would
# write the same files.
lock=build/.build-lock
if [ "$demo" -eq 1 ]; then
    echo "Building the programmer and the virtual LCD module (about a minute the first time) ..."
    quietly flock "$lock" cmake --build build --target lcdprog lcdprog-sim
else
    echo "Building the programmer (about a minute the first time) ..."
    quietly flock "$lock" cmake --build build --target lcdprog
fi
rm -f "$log"
trap - EXIT

# The window does not wait for lcdprog-cli: it is built behind it, at the lowest priority, its
# messages kept in build/lcdprog-cli-build.log. Up to date, this takes no time.
nohup flock "$lock" nice -n 19 cmake --build build --target lcdprog-cli \
    >build/lcdprog-cli-build.log 2>&1 </dev/null &

if [ "$demo" -eq 1 ]; then
    echo "Starting the virtual LCD module and the programmer ..."
    exec scripts/demo.sh build/bin
fi
echo "Starting the programmer ..."
exec build/bin/lcdprog
