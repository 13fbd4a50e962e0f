#!/usr/bin/env bash
# Builds the programmer (Release, in build/) and starts it.
#   ./run.sh          start the programmer; with no serial device on this machine, as --demo
#   ./run.sh --demo   start the virtual LCD module too, attached as COM 1
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh

demo=0
case "${1:-}" in
    --demo) demo=1 ;;
    "") ;;
    -h | --help)
        sed -n '2,4p' "$0"
        exit 0
        ;;
    *)
        echo "usage: ./run.sh [--demo]" >&2
        exit 2
        ;;
esac

lcdprog_ensure_packages "${LCDPROG_BUILD_PACKAGES[@]}"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build

if [ "$demo" -eq 0 ] && [ -z "${LCDPROG_PORTS:-}" ] &&
    ! compgen -G '/dev/ttyUSB*' >/dev/null && ! compgen -G '/dev/ttyACM*' >/dev/null &&
    ! compgen -G '/dev/ttyS[0-9]*' >/dev/null; then
    echo "No serial device found on this machine: starting the virtual LCD module (demo mode)."
    demo=1
fi

if [ "$demo" -eq 1 ]; then
    exec scripts/demo.sh build/bin
fi
exec build/bin/lcdprog
