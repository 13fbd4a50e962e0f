#!/usr/bin/env bash
# Builds and runs every test.
#   ./test.sh               the whole suite (GUI tests offscreen) in build/; changes nothing
#                           outside the tree
#   ./test.sh --package     builds the Debian package in build/, checks it with lintian,
#                           installs, starts and purges it (root only; otherwise skipped)
#   ./test.sh --sanitize    the same suite under AddressSanitizer + UBSan in build-asan/
#   ./test.sh --fuzz N      builds the fuzzers with clang in build-fuzz/, runs each N seconds
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh

mode=plain
seconds=0
case "${1:-}" in
    "") ;;
    --package) mode=package ;;
    --sanitize) mode=sanitize ;;
    --fuzz)
        mode=fuzz
        seconds=${2:-}
        [[ "$seconds" =~ ^[0-9]+$ ]] || { echo "usage: ./test.sh --fuzz SECONDS" >&2; exit 2; }
        ;;
    -h | --help)
        sed -n '2,8p' "$0"
        exit 0
        ;;
    *)
        echo "usage: ./test.sh [--package | --sanitize | --fuzz N]" >&2
        exit 2
        ;;
esac

export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

case "$mode" in
    plain)
        lcdprog_ensure_packages "${LCDPROG_BUILD_PACKAGES[@]}" "${LCDPROG_TEST_PACKAGES[@]}"
        generator=$(lcdprog_generator_option)
        cmake -S . -B build ${generator:+"$generator"} -DCMAKE_BUILD_TYPE=Release >/dev/null
        flock build/.build-lock cmake --build build
        # Most tests wait on a program, a line or a server rather than compute: twice as many
        # at once as there are cores keeps the cores busy. The longest start first (COST, then
        # the times ctest measured last time).
        ctest --test-dir build --output-on-failure -j "$((2 * jobs))" --timeout 300 -LE package
        ;;
    package)
        lcdprog_ensure_packages "${LCDPROG_BUILD_PACKAGES[@]}" "${LCDPROG_TEST_PACKAGES[@]}"
        cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
        flock build/.build-lock cmake --build build
        ctest --test-dir build --output-on-failure --timeout 300 -L package
        ;;
    sanitize)
        lcdprog_ensure_packages "${LCDPROG_BUILD_PACKAGES[@]}" "${LCDPROG_SERVER_PACKAGES[@]}"
        cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLCDPROG_SANITIZE=ON \
            -DLCDPROG_BENCH=OFF >/dev/null
        cmake --build build-asan
        export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
        export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0
        export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
        ctest --test-dir build-asan --output-on-failure -j "$jobs" --timeout 600
        ;;
    fuzz)
        lcdprog_ensure_packages "${LCDPROG_BUILD_PACKAGES[@]}" "${LCDPROG_FUZZ_PACKAGES[@]}"
        CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DLCDPROG_FUZZ=ON >/dev/null
        cmake --build build-fuzz
        python3 fuzz/make_seeds.py build-fuzz/seeds
        failed=0
        ran=0
        for fuzzer in build-fuzz/fuzz/fuzz_*; do
            name=$(basename "$fuzzer")
            mkdir -p "build-fuzz/corpus/$name"
            echo "== $name for ${seconds}s"
            if "$fuzzer" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 \
                -artifact_prefix="build-fuzz/$name-" \
                "build-fuzz/corpus/$name" "build-fuzz/seeds/$name" 2>"build-fuzz/$name.log"; then
                grep -E 'stat::number_of_executed_units' "build-fuzz/$name.log" || true
                ran=$((ran + 1))
            else
                tail -40 "build-fuzz/$name.log"
                failed=$((failed + 1))
            fi
        done
        echo "fuzz: $ran passed, $failed failed"
        [ "$failed" -eq 0 ]
        ;;
esac
