#!/bin/sh
# Runs a test-build program under Wine, in the disposable prefix that the
# test names. Never falls back to the user's own prefix.
if [ -z "$WINEPREFIX" ]; then
    echo "wine-run.sh: WINEPREFIX is not set; tests run only in their own prefix" >&2
    exit 2
fi
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"
exec wine "$@"
