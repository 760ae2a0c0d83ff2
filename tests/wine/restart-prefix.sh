#!/bin/sh
# restart-prefix.sh PREFIX: the prefix's "restart". Every process of it ends
# with its wineserver; the first program of the next wineserver carries out
# the pending file operations and WININIT.INI, as Windows does at start.
set -eu
export WINEPREFIX="$1" WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
wine cmd /c exit 0 >/dev/null 2>&1 || true
wineserver -w
