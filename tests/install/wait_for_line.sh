# lcdprog_prints EXE LINE [ARG...]: starts EXE offscreen and waits (a minute at most, a deadline
# for a hung start-up) until it prints LINE on standard error, then ends it. Its message boxes
# wait for a click, so the line, not the program's end, is the event to wait for.
lcdprog_prints() {
    local exe=$1 line=$2 found=1
    shift 2
    coproc PROGRAM { QT_QPA_PLATFORM=offscreen exec "$exe" "$@" 2>&1 >/dev/null; }
    local pid=$PROGRAM_PID
    timeout 60 grep -m1 -qF -- "$line" <&"${PROGRAM[0]}" && found=0
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    return $found
}
