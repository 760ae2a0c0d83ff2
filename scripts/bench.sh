#!/bin/sh
# bench.sh [FILES]: time and peak memory of report-only walks over synthetic
# trees (wide: 100 folders side by side; deep: a chain of 100 nested
# folders), in a sandboxed prefix under build/bench. Figures go to stdout;
# the README quotes them.
set -eu
src=$(cd "$(dirname "$0")/.." && pwd)
root=$src/build
files=${1:-10000}
"$src/scripts/setup-debian.sh"
"$src/scripts/build.sh" "$root" >/dev/null
prefix=$root/bench/prefix
"$src/tests/wine/make-prefix.sh" "$prefix" "$root/test" d:hd >/dev/null
cd "$prefix/drive_c"
export WINEPREFIX="$prefix"
drive=$prefix/drives/d
/usr/bin/python3 "$src/bench/make_tree.py" "$drive/wide" wide "$files"
/usr/bin/python3 "$src/bench/make_tree.py" "$drive/deep" deep "$files"
run="$src/tests/wine/wine-run.sh $root/test/bin/bench-run.exe $root/test/bin/k-wrndl.exe"
echo "files per tree: $files (half of them candidates)"
# A first pass warms the host's page cache, so that both trees are read alike.
$run 'D:\wide\' -nodelete >/dev/null
$run 'D:\deep\' -nodelete >/dev/null
echo "wide: $($run 'D:\wide\' -nodelete)"
echo "deep: $($run 'D:\deep\' -nodelete)"
echo "empty: $($run 'D:\empty\' -nodelete)"
WINEPREFIX="$prefix" wineserver -k || true
