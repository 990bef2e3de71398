#!/usr/bin/env bash
# Cross-builds the Windows configuration (MinGW-w64, warnings as errors; the
# benchmark harnesses too, so they keep building) into
# build/windows and runs its test suite under wine through CMake's
# cross-compiling emulator.
# Then one end-to-end run of the executables (scripts/e2e-windows.sh).
# Usage: scripts/test-windows.sh [--quick] [ctest arguments...]
#   --quick leaves out the longest multi-process tests under wine (Linux
#   runs them in every build): two index tests (about six minutes), the
#   copy while plantsim appends (85-105 s) and the two end-to-end recovery
#   runs of packvault (about 95 s and 70 s); with ctest
#   arguments (e.g. -R 'MutexOwner|TableLock') only those tests run, without
#   the end-to-end run.
set -euo pipefail
quick=()
if [ "${1:-}" = "--quick" ]; then
  quick=(-E 'CdxEngineTest\.(PlantTagSetsStayRight|ExclusiveUseLeaves)|CopierTest\.CopyWhilePlantAppends|E2eRecoveryTest\.')
  shift
fi
cd "$(dirname "$0")/.."
scripts/build-windows-deps.sh build/windows-deps
deps=$PWD/build/windows-deps/prefix
triple=x86_64-w64-mingw32
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)

# wine's own prefix under the build tree, with one persistent server for the
# whole run (the build already runs the test binaries to list their tests):
# wine's background processes would otherwise be started by the first test
# and hold the test runner's pipes open.
mkdir -p build/windows
export WINEPREFIX=$PWD/build/windows/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
wineserver -p
trap 'wineserver -k || true' EXIT
wine cmd /c exit 0 >/dev/null 2>&1 || true  # creates the prefix once

cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchain-mingw64.cmake" \
  -DPV_WINDOWS_DEPS="$deps" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPV_WERROR=ON -DPV_BUILD_BENCH=ON \
  -DZLIB_LIBRARY=/usr/$triple/lib/libz.a -DZLIB_INCLUDE_DIR=/usr/$triple/include \
  "${launcher[@]}" >/dev/null
cmake --build build/windows -j"$(nproc)"

. scripts/run-ctest.sh
run_ctest --test-dir build/windows -j"$(nproc)" --timeout 600 --output-on-failure \
  "${quick[@]}" "$@"
[ $# -gt 0 ] || scripts/e2e-windows.sh
