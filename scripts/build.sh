#!/bin/sh
# build.sh [BUILD_ROOT]: configures and builds the three builds of the one
# source tree: BUILD_ROOT/release (the 32-bit product), BUILD_ROOT/test (the
# 64-bit build whose tests run under Wine) and BUILD_ROOT/native (the
# platform-free logic under the sanitizers).
set -eu
src=$(cd "$(dirname "$0")/.." && pwd)
root=${1:-$src/build}
cmake -S "$src" -B "$root/release" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release
cmake -S "$src" -B "$root/test" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-x86_64.cmake" \
      -DKWRNDL_RELEASE_EXE="$root/release/bin/k-wrndl.exe"
cmake -S "$src" -B "$root/native" -G Ninja
cmake --build "$root/release"
cmake --build "$root/test"
cmake --build "$root/native"
