#!/usr/bin/env bash
# The Debian package as an administrator gets it: built by cpack, clean under lintian, installed,
# its programs started from /, then purged. It installs into /usr, so it needs root;
# otherwise it reports itself skipped (status 77).
set -u
build=$(realpath "$1")
version=$2
if [ "$(id -u)" -ne 0 ]; then
    echo "install.package: skipped (installing the package needs root)"
    exit 77
fi
fail() { echo "FAIL: $*"; exit 1; }
source "$(dirname "$0")/wait_for_line.sh"

# One run at a time on this machine, and no package left installed however this one ends (one
# killed outright is reinstalled over and purged by the next). apt-get, unlike dpkg, waits for
# the package database while another installation holds it.
exec 9>/run/lock/lcdprog-install-package
flock 9
apt_get() { apt-get -y -q --no-install-recommends -o DPkg::Lock::Timeout=120 "$@" 2>&1; }
work=$(mktemp -d)
cleanup() {
    apt_get purge lcdprog >/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

out=$(cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" 2>&1) || fail "cpack: $out"
deb=$work/lcdprog_${version}-1_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no $deb: $out"
# Its one note about running as root is about lintian, not the package.
out=$(lintian "$deb" 2>&1 | grep -vx 'running with root privileges is not recommended!')
[ -z "$out" ] || fail "lintian: $out"

out=$(apt_get install "$deb") || fail "installing $deb: $out"
[ "$(/usr/bin/lcdprog --version)" = "lcdprog $version" ] || fail "lcdprog --version"

# From /, it finds its backgrounds and gets as far as opening the project it is given (one that
# is not there: its message is the sign that the start-up is over).
cd /
lcdprog_prints /usr/bin/lcdprog "absent.lcdprj non esiste." \
    "$work/absent.lcdprj" || fail "lcdprog did not start from /"

blank10=$(printf '"..........",%.0s' {1..15})
cat >"$work/small.lcdprj" <<PROJECT
{"format": "lcdprog-project", "version": 1,
 "pictures": {"64128A": ["/usr/share/lcdprog/Sfondo_Bianco_128x64.bmp", "", "", ""],
          "64128E": ["", "", "", ""], "64240B": ["", "", "", ""], "128240A": ["", "", "", ""]},
 "glyphs": {"5x8": ["..#..", ".#.#.", "#...#", "#...#", "#####", "#...#", "#...#", "....."],
        "10x16": [$blank10 "##########"]}}
PROJECT
out=$(/usr/bin/lcdprog-cli image "$work/small.lcdprj" -o "$work/image.bin" 2>&1) ||
    fail "lcdprog-cli image: $out"
[ "$(stat -c %s "$work/image.bin")" -eq 65536 ] || fail "lcdprog-cli image: not 65,536 bytes"

out=$(apt_get purge lcdprog) || fail "purging: $out"
[ ! -e /usr/share/lcdprog ] || fail "/usr/share/lcdprog left after the purge"
echo "package: ok"
