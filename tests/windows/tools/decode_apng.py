"""Decodes an APNG with Pillow and dumps every frame for the Windows tests.

usage: decode_apng.py INPUT.png OUTPUT.bin

OUTPUT holds a little-endian uint32 frame count, then per frame uint32 width,
uint32 height, float64 duration in ms as Pillow reports it, and the RGBA
bytes. It appears, whole, only when every frame decoded; otherwise
OUTPUT.failed appears, holding the error. Wine neither waits for a Linux
program nor passes its exit status back, so the caller waits for one of the two.
"""
import os
import struct
import sys
import traceback

from PIL import Image


def main(source, target):
    frames = []
    with Image.open(source) as im:
        if im.format != "PNG":
            raise SystemExit("not a PNG: %s" % im.format)
        for i in range(getattr(im, "n_frames", 1)):
            im.seek(i)
            frame = im.convert("RGBA")
            frames.append((frame.width, frame.height, float(im.info.get("duration", 0.0)), frame.tobytes()))
    data = [struct.pack("<I", len(frames))]
    for width, height, duration, pixels in frames:
        data.append(struct.pack("<IId", width, height, duration))
        data.append(pixels)
    with open(target + ".part", "wb") as out:
        out.write(b"".join(data))
    os.replace(target + ".part", target)


if __name__ == "__main__":
    try:
        main(sys.argv[1], sys.argv[2])
    except BaseException:
        with open(sys.argv[2] + ".failed.part", "w") as out:
            out.write(traceback.format_exc())
        os.replace(sys.argv[2] + ".failed.part", sys.argv[2] + ".failed")
