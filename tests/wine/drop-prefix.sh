#!/bin/sh
# drop-prefix.sh PREFIX: ends the prefix's processes and removes it, unless
# KWRNDL_KEEP_PREFIXES is set (to look at a failed run).
prefix=$1
WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
if [ -z "${KWRNDL_KEEP_PREFIXES:-}" ]; then
    rm -rf "$prefix"
fi
exit 0
