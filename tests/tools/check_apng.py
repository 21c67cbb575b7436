#!/usr/bin/python3
"""Decodes an APNG with decoders nobody here wrote.

usage: check_apng.py FILE EXPECTED.rgba WIDTH HEIGHT FRAMES DELAY_NUM DELAY_DEN
       check_apng.py --dump FILE OUTPUT.bin

The first compares: EXPECTED.rgba holds FRAMES frames of WIDTH x HEIGHT
straight RGBA bytes. Pillow must see FRAMES frames, each equal to its expected
pixels and lasting DELAY_NUM / DELAY_DEN s; ffmpeg, where present, must decode
the same pixels.

The second hands Pillow's frames to the Windows tests: OUTPUT holds a
little-endian uint32 frame count, then per frame uint32 width, uint32 height,
float64 duration in ms as Pillow reports it, and the RGBA bytes. It appears
only when every frame decoded, else OUTPUT.failed with the error: Wine neither
waits for a Linux program nor passes its exit status back.
"""
import os
import shutil
import struct
import subprocess
import sys
import traceback

from PIL import Image


def fail(message):
    print("check_apng: " + message, file=sys.stderr)
    sys.exit(1)


def first_difference(a, b):
    return next((i for i, (x, y) in enumerate(zip(a, b)) if x != y), min(len(a), len(b)))


def pillow_frames(path):
    """Whether Pillow sees an animation, and every frame: width, height, duration in ms (or None), RGBA."""
    with Image.open(path) as im:
        if im.format != "PNG":
            fail("not a PNG: %s" % im.format)
        frames = []
        for i in range(getattr(im, "n_frames", 1)):
            im.seek(i)
            frame = im.convert("RGBA")
            frames.append((frame.width, frame.height, im.info.get("duration"), frame.tobytes()))
        return getattr(im, "is_animated", False), frames


def check(path, expected_path, width, height, frames, delay_num, delay_den):
    frame_bytes = width * height * 4
    expected = open(expected_path, "rb").read()
    if len(expected) != frame_bytes * frames:
        fail("expected file holds %d bytes, not %d" % (len(expected), frame_bytes * frames))

    animated, decoded = pillow_frames(path)
    if not animated and frames > 1:
        fail("not an animated PNG")
    if len(decoded) != frames:
        fail("Pillow sees %d frames, expected %d" % (len(decoded), frames))
    want_ms = 1000.0 * delay_num / (delay_den or 100)
    for i, (_, _, duration, got) in enumerate(decoded):
        want = expected[i * frame_bytes:(i + 1) * frame_bytes]
        if got != want:
            k = first_difference(got, want) // 4 * 4
            fail("Pillow: frame %d differs at pixel %d: %s != %s"
                 % (i, k // 4, list(got[k:k + 4]), list(want[k:k + 4])))
        if duration is None or abs(duration - want_ms) > 1e-6:
            fail("Pillow: frame %d lasts %r ms, expected %r" % (i, duration, want_ms))

    if shutil.which("ffmpeg"):
        raw = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "rawvideo", "-pix_fmt", "rgba",
                              "-fps_mode", "passthrough", "-"], check=True, capture_output=True).stdout
        if len(raw) != len(expected):
            fail("ffmpeg decoded %d bytes, expected %d" % (len(raw), len(expected)))
        if raw != expected:
            fail("ffmpeg: frame %d differs" % (first_difference(raw, expected) // frame_bytes))
    print("check_apng: %d frames of %dx%d decode as expected" % (frames, width, height))


def dump(path, target):
    try:
        frames = pillow_frames(path)[1]
        data = [struct.pack("<I", len(frames))]
        for width, height, duration, pixels in frames:
            data += [struct.pack("<IId", width, height, float(duration or 0)), pixels]
        with open(target + ".part", "wb") as out:
            out.write(b"".join(data))
        os.replace(target + ".part", target)
    except BaseException:
        with open(target + ".failed.part", "w") as out:
            out.write(traceback.format_exc())
        os.replace(target + ".failed.part", target + ".failed")


if __name__ == "__main__":
    if sys.argv[1] == "--dump":
        dump(sys.argv[2], sys.argv[3])
    else:
        check(sys.argv[1], sys.argv[2], *map(int, sys.argv[3:8]))
