#!/usr/bin/env python3
"""make_tree.py ROOT SHAPE FILES: writes a synthetic tree for the benchmark.
SHAPE wide: FILES files spread over 100 folders of one level; deep: one chain
of 100 nested folders with the files spread along it. Half the files are
candidates (.exe/.dll, 8 to 88 KiB of pseudo-random bytes), half are not."""
import os
import random
import sys


def main(root, shape, count):
    rng = random.Random(5230)
    blob = bytes(rng.getrandbits(8) for _ in range(96 * 1024))
    folders = []
    if shape == "wide":
        folders = [os.path.join(root, "dir%03d" % i) for i in range(100)]
    else:
        path = root
        for i in range(100):
            path = os.path.join(path, "d%02d" % i)
            folders.append(path)
    for f in folders:
        os.makedirs(f, exist_ok=True)
    for i in range(count):
        folder = folders[i % len(folders)]
        ext = ("exe", "dll", "txt", "dat")[i % 4]
        size = 8 * 1024 + (i * 7919) % (80 * 1024)
        with open(os.path.join(folder, "f%06d.%s" % (i, ext)), "wb") as out:
            start = (i * 131) % 1024
            out.write(blob[start:start + size])


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2], int(sys.argv[3]))
