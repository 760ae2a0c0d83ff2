#!/bin/sh
# hold-files.sh PREFIX LOCK_HOLDER FILE...: holds each FILE open (read
# sharing) from a program of its own that runs until the prefix restarts.
# Started from here, with no output pipe: a Wine program that outlives a
# ctest step must not hold that step's output open, and neither may the
# services that the prefix's first program starts.
set -eu
export WINEPREFIX="$1" WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
holder=$2
shift 2
n=0
for file in "$@"; do
    n=$((n + 1))
    wine "$holder" "$file" read "kwrndl-held-$n" </dev/null >/dev/null 2>&1 &
done
# The test that needs the files held waits until they are.
sleep 1
