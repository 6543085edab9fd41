#!/usr/bin/python3
"""Pillow's side of the reader benchmark.

Saves the photograph in a folder as every file the benchmark reads that Pillow writes, and
its raw RGB rows for the files Pillow cannot write; says "ready", then answers each request
line (a path) with the seconds that one Image.open(path).load() took.
"""
import os
import sys
import time

from PIL import Image

from photo import make_picture


def main():
    folder = sys.argv[1]
    picture = make_picture()
    with open(os.path.join(folder, "photo.rgb"), "wb") as raw:
        raw.write(picture.tobytes())
    picture.save(os.path.join(folder, "raw.tga"))
    picture.save(os.path.join(folder, "rle.tga"), compression="tga_rle")
    picture.save(os.path.join(folder, "planes.pcx"))
    picture.save(os.path.join(folder, "24.bmp"))
    indexed = picture.quantize(256)
    indexed.save(os.path.join(folder, "8.bmp"))
    indexed.save(os.path.join(folder, "256.gif"))
    picture.save(os.path.join(folder, "raw.tif"))
    print("ready", flush=True)
    for line in sys.stdin:
        path = line.strip()
        start = time.perf_counter()
        with Image.open(path) as image:
            image.load()
        print(time.perf_counter() - start, flush=True)


main()
