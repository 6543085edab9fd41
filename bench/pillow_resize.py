#!/usr/bin/python3
"""Pillow's side of the resize benchmark.

Loads one raw RGB image, then answers each request line "filter width height" with the
processor seconds that one Image.resize to that size took, so that the caller times only
the resize, as it times its own.
"""
import sys
import time

from PIL import Image

FILTERS = {
    "lanczos": Image.Resampling.LANCZOS,
    "bicubic": Image.Resampling.BICUBIC,
    "bilinear": Image.Resampling.BILINEAR,
}


def main():
    path, width, height = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    with open(path, "rb") as raw:
        image = Image.frombytes("RGB", (width, height), raw.read())
    image.load()
    print("ready", flush=True)
    for line in sys.stdin:
        name, w, h = line.split()
        start = time.process_time()
        image.resize((int(w), int(h)), FILTERS[name])
        print(time.process_time() - start, flush=True)


main()
