#!/usr/bin/python3
"""Decodes an APNG with decoders nobody here wrote and compares every frame.

usage: check_apng.py FILE EXPECTED.rgba WIDTH HEIGHT FRAMES DELAY_NUM DELAY_DEN

EXPECTED.rgba holds FRAMES frames of WIDTH x HEIGHT straight RGBA bytes.
Pillow must see FRAMES frames, each equal to its expected pixels and lasting
DELAY_NUM / DELAY_DEN s; ffmpeg, where present, must decode the same pixels.
"""
import shutil
import subprocess
import sys

from PIL import Image


def fail(message):
    print("check_apng: " + message, file=sys.stderr)
    sys.exit(1)


def first_difference(a, b):
    for i, (x, y) in enumerate(zip(a, b)):
        if x != y:
            return i
    return min(len(a), len(b))


def main():
    path, expected_path = sys.argv[1], sys.argv[2]
    width, height, frames, delay_num, delay_den = map(int, sys.argv[3:8])
    frame_bytes = width * height * 4
    expected = open(expected_path, "rb").read()
    if len(expected) != frame_bytes * frames:
        fail("expected file holds %d bytes, not %d" % (len(expected), frame_bytes * frames))

    with Image.open(path) as im:
        if im.format != "PNG" or not getattr(im, "is_animated", False) and frames > 1:
            fail("not an animated PNG")
        if im.n_frames != frames:
            fail("Pillow sees %d frames, expected %d" % (im.n_frames, frames))
        for i in range(frames):
            im.seek(i)
            got = im.convert("RGBA").tobytes()
            want = expected[i * frame_bytes:(i + 1) * frame_bytes]
            if got != want:
                k = first_difference(got, want)
                fail("Pillow: frame %d differs at pixel %d: %s != %s"
                     % (i, k // 4, list(got[k // 4 * 4:k // 4 * 4 + 4]), list(want[k // 4 * 4:k // 4 * 4 + 4])))
            duration = im.info.get("duration")
            want_ms = 1000.0 * delay_num / delay_den
            if duration is None or abs(duration - want_ms) > 1e-6:
                fail("Pillow: frame %d lasts %r ms, expected %r" % (i, duration, want_ms))

    if shutil.which("ffmpeg"):
        raw = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "rawvideo", "-pix_fmt", "rgba",
                              "-fps_mode", "passthrough", "-"], check=True, capture_output=True).stdout
        if len(raw) != len(expected):
            fail("ffmpeg decoded %d bytes, expected %d" % (len(raw), len(expected)))
        if raw != expected:
            k = first_difference(raw, expected)
            fail("ffmpeg: frame %d differs" % (k // frame_bytes))
    print("check_apng: %d frames of %dx%d decode as expected" % (frames, width, height))


if __name__ == "__main__":
    main()
