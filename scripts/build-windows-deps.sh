#!/usr/bin/env bash
# Installs the Debian packages of the Windows cross build and builds the two
# libraries Debian has no MinGW package of: libzip (static, AES through the
# Windows crypto API) and GoogleTest, into build/windows-deps/prefix.
# Built once; a later run finds them and returns at once.
# Usage: scripts/build-windows-deps.sh [deps-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
deps=$(realpath -m "${1:-build/windows-deps}")
prefix=$deps/prefix
triple=x86_64-w64-mingw32
toolchain=$PWD/cmake/toolchain-mingw64.cmake

pkgs=(g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev libz-mingw-w64-dev wine64 wine
      googletest dpkg-dev)
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi

[ -f "$prefix/.done" ] && exit 0
mkdir -p "$deps/src"

# libzip from Debian's source package (needs a deb-src entry).
if ! ls "$deps"/src/libzip-*/CMakeLists.txt >/dev/null 2>&1; then
  if ! apt-get source --print-uris libzip >/dev/null 2>&1; then
    echo "adding a deb-src entry for the libzip source package"
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
      $SUDO tee /etc/apt/sources.list.d/packvault-deb-src.sources >/dev/null
    $SUDO apt-get update -qq
  fi
  (cd "$deps/src" && apt-get source -qq libzip)
fi
libzip_src=$(ls -d "$deps"/src/libzip-*/ | head -n1)
zlib_args=(-DZLIB_LIBRARY=/usr/$triple/lib/libz.a -DZLIB_INCLUDE_DIR=/usr/$triple/include)
cmake -S "$libzip_src" -B "$deps/build-libzip" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF \
  -DENABLE_WINDOWS_CRYPTO=ON -DENABLE_OPENSSL=OFF -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF \
  -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF -DENABLE_ZSTD=OFF -DENABLE_COMMONCRYPTO=OFF \
  -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF \
  -DBUILD_OSSFUZZ=OFF "${zlib_args[@]}" >/dev/null
cmake --build "$deps/build-libzip" -j"$(nproc)"
cmake --install "$deps/build-libzip" >/dev/null

# GoogleTest from the sources Debian installs in /usr/src/googletest.
cmake -S /usr/src/googletest -B "$deps/build-gtest" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF \
  -Dgtest_disable_pthreads=OFF >/dev/null
cmake --build "$deps/build-gtest" -j"$(nproc)"
cmake --install "$deps/build-gtest" >/dev/null
touch "$prefix/.done"
