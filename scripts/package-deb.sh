#!/usr/bin/env bash
# Builds the Debian package of Packvault in one command:
#   scripts/package-deb.sh [BUILD_DIR]     (default build/release)
# Builds the programs in BUILD_DIR (configured as a release build when it is
# new) and writes BUILD_DIR/packvault_<version>_<arch>.deb; prints its path.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake -S . -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)" --target packvault pvarchive pvobjects pvdbf plantsim
(cd "$build" && cpack -G DEB >/dev/null)
ls -t "$build"/packvault_*.deb | head -1
