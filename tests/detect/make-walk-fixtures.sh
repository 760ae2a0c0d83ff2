#!/bin/sh
# make-walk-fixtures.sh PREFIX
# Trees that the walk tests read from the prefix's mapped drives: names that
# Windows cannot create ("..."), directory links back into the tree, and a
# marker file on each of D: (fixed), E: (CD-ROM) and F: (network).
set -eu
drives=$1/drives

d=$drives/d
mkdir -p "$d/dots/..." "$d/dots/.a" "$d/dots/..b"
: > "$d/dots/top.exe"
: > "$d/dots/.a/ina.exe"
: > "$d/dots/..b/inb.exe"
: > "$d/dots/.../in3.exe"

# Two links back per level: a walk that followed them would never end.
mkdir -p "$d/loop/sub"
: > "$d/loop/f.exe"
: > "$d/loop/sub/g.exe"
ln -sfn . "$d/loop/back"
ln -sfn .. "$d/loop/sub/up"

: > "$d/marker-d.exe"
for letter in e f; do
    mkdir -p "$drives/$letter/sub"
    : > "$drives/$letter/marker-$letter.exe"
    : > "$drives/$letter/sub/inner-$letter.exe"
done
