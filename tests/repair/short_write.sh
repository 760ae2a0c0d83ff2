#!/bin/sh
# short_write.sh WINE_RUN TEST_EXE HOST: runs TEST_EXE with the size of the
# files it may write capped (RLIMIT_FSIZE) inside the second chunk of HOST's
# copy, then inside its last chunk, so that one WriteFile comes back
# successful and short. SIGXFSZ is ignored (that survives exec), so a write
# past the cap fails with an error instead of ending the process.
set -eu
wine_run=$1
exe=$2
host=$3
size=$(stat -c %s "$host")
# The prefix is this test's own; its wineserver runs uncapped, or it could
# not save the registry.
wineserver -p60 </dev/null >/dev/null 2>&1
# Wine's helper processes inherit the test's output; ending the server ends
# them, so that the test finishes with its program.
trap 'wineserver -k' EXIT
trap '' XFSZ
for limit in 20000 $((size - 100)); do
    echo "write limit $limit of $size bytes"
    KWRNDL_WRITE_LIMIT=$limit prlimit --fsize=$limit "$wine_run" "$exe"
done
