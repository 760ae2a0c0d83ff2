#!/bin/sh
# restart-prefix.sh PREFIX: restarts "Windows" in the prefix. Every process
# of it ends with its wineserver; the next program start carries out the
# pending file operations and WININIT.INI, as a real restart would.
export WINEPREFIX="$1" WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
wineserver -k 2>/dev/null
wineserver -w
wine cmd /c exit 0 >/dev/null 2>&1 || exit 1
# Let the start finish before the checks run.
wineserver -w
