#!/usr/bin/env bash
# Builds Packvault twice (warnings as errors; then ASan + UBSan) and runs the
# whole test suite in both; after the first, checks the Debian package.
# Usage: scripts/test.sh [--quick]  (--quick: first configuration only).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)
export CTEST_OUTPUT_ON_FAILURE=1

. scripts/run-ctest.sh

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPV_WERROR=ON >/dev/null
cmake --build build/release -j"$jobs"
# No blanket retry: a failure fails the run. Tests that involve other
# processes wait for conditions, not for times.
run_ctest --test-dir build/release -j"$jobs" --timeout 900

# The Debian package: built, installed on a clean Debian system (a chroot),
# run on a demo project, its systemd unit verified (scripts/check-deb.sh).
if [ "$(id -u)" -eq 0 ]; then scripts/check-deb.sh build/release; else sudo scripts/check-deb.sh build/release; fi

[ "${1:-}" = "--quick" ] && exit 0

cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DPV_WERROR=ON -DPV_SANITIZE=ON -DPV_BUILD_BENCH=OFF >/dev/null
cmake --build build/asan -j"$jobs"
# Every test, the concurrency run included (it copies a tenth of its records
# under the sanitizers).
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_ctest --test-dir build/asan -j"$jobs" --timeout 900

# The fuzz targets are built (with clang) so they keep compiling; running them
# is a manual step, see "Fuzzing" in README.md.
if command -v clang++ >/dev/null && ls tests/fuzz/*_fuzz.cc >/dev/null 2>&1; then
  CC=clang CXX=clang++ cmake -S . -B build/fuzz -DPV_BUILD_FUZZ=ON -DPV_BUILD_TESTS=OFF -DPV_BUILD_BENCH=OFF >/dev/null
  cmake --build build/fuzz -j"$jobs"
fi
