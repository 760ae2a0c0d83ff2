#!/bin/sh
# make-prefix.sh PREFIX BUILD_DIR [DRIVE:TYPE ...]
# Creates a fresh Wine prefix for one group of tests: Z: (the host's /) is
# removed so that no run can walk the host, T: maps the build tree as a
# network drive (never walked), and each DRIVE:TYPE maps PREFIX/drives/DRIVE
# with that type (hd, cdrom, floppy, network).
set -eu
prefix=$1
build=$2
shift 2
export WINEPREFIX="$prefix" WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'

if [ -d "$prefix" ]; then
    wineserver -k 2>/dev/null || true
    rm -rf "$prefix"
fi
mkdir -p "$prefix"
wine wineboot --init >/dev/null 2>&1
wineserver -w

rm -f "$prefix/dosdevices/z:"
ln -s "$build" "$prefix/dosdevices/t:"
wine reg add 'HKLM\Software\Wine\Drives' /v t: /d network /f >/dev/null
for spec in "$@"; do
    letter=${spec%%:*}
    type=${spec#*:}
    mkdir -p "$prefix/drives/$letter"
    ln -s "../drives/$letter" "$prefix/dosdevices/$letter:"
    wine reg add 'HKLM\Software\Wine\Drives' /v "$letter:" /d "$type" /f >/dev/null
done
wineserver -w
echo "prefix ready: $prefix"
