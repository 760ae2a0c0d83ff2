#!/bin/sh
# Installs what the builds, the tests and the demo need on a Debian machine
# (run as root). No i386 architecture: 32-bit Wine cannot start on these
# machines, and the tests run the 64-bit test build under 64-bit Wine.
set -eu
packages="cmake ninja-build g++ googletest g++-mingw-w64-i686 g++-mingw-w64-x86-64
          binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 wine wine64 python3 python3-pefile"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
fi
