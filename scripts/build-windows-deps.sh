#!/usr/bin/env bash
# Installs the Debian packages of the Windows cross build and builds the
# libraries Debian has no MinGW package of: libzip (static, AES through the
# Windows crypto API), libdeflate (static) and GoogleTest, into
# build/windows-deps/prefix. Each is built once; a later run finds it and
# goes on at once.
# Usage: scripts/build-windows-deps.sh [deps-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
deps=$(realpath -m "${1:-build/windows-deps}")
prefix=$deps/prefix
triple=x86_64-w64-mingw32
toolchain=$PWD/cmake/toolchain-mingw64.cmake

pkgs=(g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev libz-mingw-w64-dev wine64 wine
      googletest dpkg-dev make)
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

mkdir -p "$deps/src" "$prefix/include" "$prefix/lib"
jobs=$(nproc)

# A Debian source package into $deps/src (adds a deb-src entry when apt has
# none); prints the unpacked directory.
debian_source() {
  if ! ls -d "$deps/src/$1"-*/ >/dev/null 2>&1; then
    if ! apt-get source --print-uris "$1" >/dev/null 2>&1; then
      echo "adding a deb-src entry for Debian's source packages" >&2
      sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
        $SUDO tee /etc/apt/sources.list.d/packvault-deb-src.sources >/dev/null
      $SUDO apt-get update -qq
    fi
    (cd "$deps/src" && apt-get source -qq "$1" >&2)
  fi
  ls -d "$deps/src/$1"-*/ | head -n1
}

# Each library is built once; its stamp in the prefix says it is installed.
# libzip (AES through bcrypt): the library only, no tools, tests or docs.
if [ ! -f "$prefix/.libzip" ]; then
  src=$(debian_source libzip)
  cmake -S "$src" -B "$deps/build-libzip" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF \
    -DENABLE_WINDOWS_CRYPTO=ON -DENABLE_OPENSSL=OFF -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF \
    -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF -DENABLE_ZSTD=OFF -DENABLE_COMMONCRYPTO=OFF \
    -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF \
    -DBUILD_OSSFUZZ=OFF -DZLIB_LIBRARY=/usr/$triple/lib/libz.a \
    -DZLIB_INCLUDE_DIR=/usr/$triple/include >/dev/null
  cmake --build "$deps/build-libzip" -j"$jobs" >/dev/null
  cmake --install "$deps/build-libzip" >/dev/null
  touch "$prefix/.libzip"
fi

# libdeflate (the archive members' deflate): its Makefile, the static
# library only, built in a copy of the source so the unpacked tree stays clean.
if [ ! -f "$prefix/.libdeflate" ]; then
  src=$(debian_source libdeflate)
  rm -rf "$deps/build-libdeflate"
  cp -r "$src" "$deps/build-libdeflate"
  make -s -C "$deps/build-libdeflate" -j"$jobs" CC=$triple-gcc AR=$triple-ar \
    libdeflatestatic.lib
  install -m644 "$deps/build-libdeflate/libdeflate.h" "$prefix/include/"
  install -m644 "$deps/build-libdeflate/libdeflatestatic.lib" "$prefix/lib/libdeflate.a"
  touch "$prefix/.libdeflate"
fi

# GoogleTest (with gmock) from the sources Debian installs in /usr/src/googletest.
if [ ! -f "$prefix/.gtest" ]; then
  cmake -S /usr/src/googletest -B "$deps/build-gtest" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF \
    -Dgtest_disable_pthreads=OFF >/dev/null
  cmake --build "$deps/build-gtest" -j"$jobs" >/dev/null
  cmake --install "$deps/build-gtest" >/dev/null
  touch "$prefix/.gtest"
fi
