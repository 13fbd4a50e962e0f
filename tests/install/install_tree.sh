#!/usr/bin/env bash
# The installed tree: every program, page and desktop file in its place; lcdprog started from
# another folder looks for its white backgrounds in ../share/lcdprog.
set -u
build=$1
version=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
source "$(dirname "$0")/wait_for_line.sh"

cmake --install "$build" --prefix "$prefix" >/dev/null || fail "cmake --install"
for f in bin/lcdprog bin/lcdprog-sim share/lcdprog/Sfondo_Bianco_128x64.bmp \
    share/lcdprog/Sfondo_Bianco_240x64.bmp share/lcdprog/Sfondo_Bianco_240x128.bmp \
    share/man/man1/lcdprog.1.gz share/man/man1/lcdprog-sim.1.gz \
    share/doc/lcdprog/copyright share/doc/lcdprog/changelog.Debian.gz \
    share/applications/org.lcdprog.Lcdprog.desktop \
    share/metainfo/org.lcdprog.Lcdprog.metainfo.xml \
    share/mime/packages/org.lcdprog.Lcdprog.xml \
    share/icons/hicolor/scalable/apps/org.lcdprog.Lcdprog.svg \
    share/icons/hicolor/48x48/apps/org.lcdprog.Lcdprog.png; do
    [ -e "$prefix/$f" ] || fail "$f not installed"
done
compgen -G "$prefix/bin/*.bmp" >/dev/null && fail "backgrounds in bin/: $(ls "$prefix/bin")"
# Every program answers --version with the project's one version.
for exe in "$prefix"/bin/*; do
    got=$("$exe" --version) || fail "$exe --version"
    [ "$got" = "$(basename "$exe") $version" ] || fail "$exe --version printed \"$got\""
done

# Started from another folder with one background gone, it names that one: start-up stops at the
# first it cannot use, so the one before it was found in ../share/lcdprog.
cd /
rm "$prefix/share/lcdprog/Sfondo_Bianco_240x64.bmp"
lcdprog_prints "$prefix/bin/lcdprog" \
    'lcdprog: ERROR: File Sfondo_Bianco_240x64.bmp non trovato. Impossibile continuare' ||
    fail "no message for the missing background"

desktop-file-validate "$prefix/share/applications/org.lcdprog.Lcdprog.desktop" || fail "desktop entry"
appstreamcli validate --no-net "$prefix/share/metainfo/org.lcdprog.Lcdprog.metainfo.xml" \
    >/dev/null || fail "metainfo"
# The MIME type is what a file manager sees for a project.
out=$(update-mime-database "$prefix/share/mime" 2>&1) || fail "update-mime-database: $out"
grep -qx 'application/x-lcdprog-project:\*\.lcdprj' "$prefix/share/mime/globs" ||
    fail "*.lcdprj is not application/x-lcdprog-project"
echo "installed tree: ok"
