#!/usr/bin/env python3
"""Writes tones.wav: 0.3 s of stereo 24-bit PCM at 48 kHz, 440 Hz on the left
and 660 Hz on the right, with a short fade in and out. It is the example
recording the README converts; run it again to recreate the file."""
import math
import struct
import sys

RATE = 48000
FRAMES = RATE * 3 // 10
PEAK = 0.5 * (2**23 - 1)


def sample(freq, i):
    fade = min(1.0, i / 480, (FRAMES - 1 - i) / 480)
    return round(PEAK * fade * math.sin(2 * math.pi * freq * i / RATE))


def main(path):
    data = bytearray()
    for i in range(FRAMES):
        for freq in (440, 660):
            data += struct.pack("<i", sample(freq, i))[:3]
    fmt = struct.pack("<HHIIHH", 1, 2, RATE, RATE * 6, 6, 24)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt
    body += b"data" + struct.pack("<I", len(data)) + data
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", len(body)) + body)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "tones.wav")
