#!/bin/sh
# test.sh [BUILD_ROOT]: installs what is missing (Debian, as root), builds the
# release, test and host builds, then runs every test: the host build's
# (platform-free logic under the sanitizers) and the test build's (under
# Wine, each group in a disposable prefix of its own).
set -eu
src=$(cd "$(dirname "$0")/.." && pwd)
root=${1:-$src/build}
"$src/scripts/setup-debian.sh"
"$src/scripts/build.sh" "$root"
ctest --test-dir "$root/native" --output-on-failure -j2
ctest --test-dir "$root/test" --output-on-failure -j2
