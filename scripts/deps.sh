# Sourced by run.sh and test.sh: installs the Debian packages this project needs when they are
# missing (as root), or prints the exact command to run (otherwise).

lcdprog_missing_packages() {
    local pkg missing=()
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    echo "${missing[@]:-}"
}

# apt-get's own output is kept back and shown only when it fails.
lcdprog_ensure_packages() {
    local missing log
    missing=$(lcdprog_missing_packages "$@")
    [ -z "$missing" ] && return 0
    if [ "$(id -u)" -eq 0 ]; then
        echo "Installing the missing Debian packages: $missing"
        export DEBIAN_FRONTEND=noninteractive
        log=$(mktemp)
        # shellcheck disable=SC2086
        if ! { apt-get update -qq && apt-get install -y -qq --no-install-recommends $missing; } \
            >"$log" 2>&1; then
            cat "$log" >&2
            rm -f "$log"
            echo "Installing the packages failed (apt-get's messages above)." >&2
            exit 1
        fi
        rm -f "$log"
    else
        echo "These Debian packages are missing. Install them with:" >&2
        echo "  sudo apt-get install $missing" >&2
        exit 1
    fi
}

# libqt6sql6-psql is the Qt SQL driver the plant database is reached through (loaded at run time).
# qt6-base-private-dev: the GUI tests switch Qt's accessibility on to hear what a screen reader
# hears, which only Qt's platform layer can do.
LCDPROG_BUILD_PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-serialport-dev libqt6svg6
    libgl-dev libgtest-dev libgmock-dev libbenchmark-dev qt6-qpa-plugins qt6-translations-l10n
    desktop-file-utils appstream libqt6sql6-psql zlib1g-dev xfonts-base qt6-base-private-dev)
# The records' tests start a throw-away PostgreSQL server of their own (initdb, pg_ctl).
LCDPROG_SERVER_PACKAGES=(postgresql)
# What ./test.sh needs on top: what builds the Debian package and checks it, and the server.
LCDPROG_TEST_PACKAGES=(dpkg-dev file lintian shared-mime-info "${LCDPROG_SERVER_PACKAGES[@]}")
LCDPROG_FUZZ_PACKAGES=(clang libclang-rt-14-dev)
# What .ci/run checks the sources with before any build.
LCDPROG_CI_PACKAGES=(clang-format python3)

# The generator option for configuring build/: Ninja, unless build/ was already configured (by
# hand, as the install section shows) with another generator. CMake refuses to change the
# generator of a configured folder, so that one is reused as it is, and one line says so.
lcdprog_generator_option() {
    local cache=build/CMakeCache.txt generator
    generator=$(sed -n 's/^CMAKE_GENERATOR:INTERNAL=//p' "$cache" 2>/dev/null || true)
    if [ -n "$generator" ] && [ "$generator" != Ninja ]; then
        echo "build/ was configured with \"$generator\": it is reused as it is." >&2
        return
    fi
    echo "-GNinja"
}
