#!/usr/bin/env bash
# The installed tree: lcdprog starts from any folder and finds its white backgrounds beside
# itself, a missing background is reported by name, and the desktop files validate.
set -u
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null || fail "cmake --install"
for f in bin/lcdprog bin/Sfondo_Bianco_128x64.bmp bin/Sfondo_Bianco_240x64.bmp \
    bin/Sfondo_Bianco_240x128.bmp share/applications/org.lcdprog.Lcdprog.desktop \
    share/metainfo/org.lcdprog.Lcdprog.metainfo.xml \
    share/icons/hicolor/scalable/apps/org.lcdprog.Lcdprog.svg \
    share/icons/hicolor/48x48/apps/org.lcdprog.Lcdprog.png; do
    [ -e "$prefix/$f" ] || fail "$f not installed"
done

# Started from another folder it must still be running after two seconds (a missing background
# would have ended it, or left it waiting on its message box with the text on stderr).
cd /
QT_QPA_PLATFORM=offscreen timeout 2 "$prefix/bin/lcdprog" 2>"$prefix/err.txt"
rc=$?
[ "$rc" -eq 124 ] || fail "lcdprog ended with $rc: $(cat "$prefix/err.txt")"
grep -q 'non trovato' "$prefix/err.txt" && fail "a background was not found: $(cat "$prefix/err.txt")"

rm "$prefix/bin/Sfondo_Bianco_240x64.bmp"
QT_QPA_PLATFORM=offscreen timeout 2 "$prefix/bin/lcdprog" 2>"$prefix/err.txt"
grep -qF 'lcdprog: ERROR: File Sfondo_Bianco_240x64.bmp non trovato. Impossibile continuare' \
    "$prefix/err.txt" || fail "no message for the missing background: $(cat "$prefix/err.txt")"

if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$prefix/share/applications/org.lcdprog.Lcdprog.desktop" ||
        fail "desktop entry"
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$prefix/share/metainfo/org.lcdprog.Lcdprog.metainfo.xml" \
        >/dev/null || fail "metainfo"
fi
echo "installed tree: ok"
