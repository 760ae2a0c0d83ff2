#!/bin/sh
# demo.sh: installs what is missing (Debian, as root), builds everything and
# runs the tool on crafted samples in a sandboxed Wine prefix under
# build/demo: Z: (the host's /) removed, the demo drive D: mapped to a folder.
# The product is the 32-bit build/release/bin/k-wrndl.exe; these machines
# cannot run 32-bit code, so the demo runs the same sources' 64-bit build.
set -eu
src=$(cd "$(dirname "$0")/.." && pwd)
root=$src/build
"$src/scripts/setup-debian.sh"
"$src/scripts/build.sh" "$root" >"$root.demo-build.log" 2>&1 || {
    tail -30 "$root.demo-build.log"; exit 1; }
bin=$root/test/bin
prefix=$root/demo/prefix
"$src/tests/wine/make-prefix.sh" "$prefix" "$root/test" d:hd >/dev/null
export WINEPREFIX="$prefix"
wine="$src/tests/wine/wine-run.sh"
log=$prefix/drive_c/windows/k-wrndl.log
drive=$prefix/drives/d

section() { printf '\n=== %s ===\n' "$1"; }
run_tool() {
    # run_tool OUTPUT_FILE ARGS...: the console output and the exit code.
    out=$1; shift
    set +e
    "$wine" "$bin/k-wrndl.exe" "$@" >"$out"
    code=$?
    set -e
    tr -d '\r' <"$out" | grep -v '^[A-Z]:\\' | sed 's/^/  /' || true
    dirs=$(tr -d '\r' <"$out" | grep -c '^[A-Z]:\\' || true)
    echo "  ($dirs directory progress lines not shown; all of it in $out)"
    echo "  exit code: $code"
}

section "crafted samples on D:"
"$wine" "$bin/make-demo-samples.exe" 'D:\'

section "1. report only: k-wrndl.exe D:\\ -nodelete"
run_tool "$root/demo/run1.txt" 'D:\' -nodelete

section "2. removal over every fixed drive, with two samples held open by another program"
"$wine" "$bin/lock-holder.exe" 'D:\Games\launcher.ex' read demo-lock-1 &
"$wine" "$bin/lock-holder.exe" 'D:\Apps\editor.exe' read demo-lock-2 &
sleep 3
run_tool "$root/demo/run2.txt"
echo "  D:\\Apps now holds: $(ls "$drive/Apps" | tr '\n' ' ')"

section "the end of k-wrndl.log"
tr -d '\r' <"$log" | grep -v '^Scanning: ' | tail -25 | sed 's/^/  /'

section "3. restart (a new wineserver carries out what was scheduled)"
wineserver -k || true
wait 2>/dev/null || true
"$wine" cmd /c exit 0 >/dev/null 2>&1 || true
wineserver -w
echo "  D:\\Games now holds: $(ls "$drive/Games" | tr '\n' ' ')"
echo "  D:\\Apps now holds:  $(ls "$drive/Apps" | tr '\n' ' ')"
if cmp -s "$drive/Apps/editor.exe" "$drive/Apps/viewer.exe"; then
    echo "  editor.exe is again byte for byte the clean program it was made from"
else
    echo "  editor.exe differs from the clean program"
fi

section "4. a last run over every fixed drive"
run_tool "$root/demo/run3.txt"
wineserver -k || true
