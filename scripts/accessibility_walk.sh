#!/usr/bin/env bash
# Walks the programmer's accessibility tree over D-Bus as a screen reader or `gdbus introspect`
# would, and fails if the program stops answering. Each object is introspected and asked its
# role, state, attributes, relations and every property interface's GetAll (the call that used
# to crash Qt's AT-SPI adaptor). Needs a display server only inside Xvfb; not run by CI (it
# takes minutes).
#   scripts/accessibility_walk.sh [MAX_OBJECTS]        default 300; uses build/bin/lcdprog
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
lcdprog_ensure_packages xvfb xauth at-spi2-core dbus-x11
max=${1:-300}
build=${LCDPROG_BUILD_DIR:-build}
[ -x "$build/bin/lcdprog" ] || cmake --build "$build" --target lcdprog

exec dbus-run-session -- bash -s "$build/bin/lcdprog" "$max" <<'INNER'
set -euo pipefail
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
xvfb-run -a -s "-screen 0 1280x1024x24" "$1" >/dev/null 2>&1 &
bus="" app=""
for _ in $(seq 60); do
    sleep 0.5
    bus=$(gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
          --method org.a11y.Bus.GetAddress 2>/dev/null | sed -e "s/^('//" -e "s/',)$//") || true
    [ -n "$bus" ] || continue
    app=$(gdbus call --address "$bus" --dest org.a11y.atspi.Registry \
          --object-path /org/a11y/atspi/accessible/root \
          --method org.a11y.atspi.Accessible.GetChildren 2>/dev/null |
          grep -o "':[0-9.]*'" | head -1 | tr -d "'") || true
    [ -n "$app" ] && break
done
[ -n "$app" ] || { echo "accessibility_walk: the program never joined the accessibility bus" >&2; exit 1; }
python3 - "$bus" "$app" "$2" <<'PY'
import re, subprocess, sys
bus, app, limit = sys.argv[1], sys.argv[2], int(sys.argv[3])
def gdbus(*args):
    done = subprocess.run(["gdbus", *args[:1], "--address", bus, "--dest", app, *args[1:]],
                          capture_output=True, text=True, timeout=20)
    out = done.stdout + done.stderr
    if "NoReply" in out or "ServiceUnknown" in out or "disconnected" in out:
        sys.exit(f"accessibility_walk: the program stopped answering ({' '.join(args)})")
    return out
seen, todo = set(), ["/org/a11y/atspi/accessible/root"]
while todo and len(seen) < limit:
    path = todo.pop(0)
    if path in seen:
        continue
    seen.add(path)
    gdbus("introspect", "--object-path", path)
    for method in ["GetRole", "GetRoleName", "GetLocalizedRoleName", "GetState",
                   "GetAttributes", "GetIndexInParent", "GetRelationSet"]:
        gdbus("call", "--object-path", path, "--method", "org.a11y.atspi.Accessible." + method)
    for interface in ["Accessible", "Component", "Text", "Value", "Table", "Action"]:
        gdbus("call", "--object-path", path, "--method",
              "org.freedesktop.DBus.Properties.GetAll", "org.a11y.atspi." + interface)
    children = gdbus("call", "--object-path", path, "--method",
                     "org.a11y.atspi.Accessible.GetChildren")
    todo += re.findall(r"'(/org/a11y/atspi/accessible/[^']+)'", children)
print(f"accessibility_walk: {len(seen)} objects asked, the program still answers")
PY
INNER
