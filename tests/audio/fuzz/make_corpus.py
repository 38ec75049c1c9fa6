#!/usr/bin/python3
"""Writes the seed corpus for the wave-file fuzz target (valid and damaged wave files)."""
import math, os, struct, sys

out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus")
os.makedirs(out, exist_ok=True)

def chunk(cid, body, declared=None):
    c = cid + struct.pack("<I", len(body) if declared is None else declared) + body
    return c + (b"\0" if len(body) & 1 else b"")

def riff(chunks):
    return b"RIFF" + struct.pack("<I", len(chunks) + 4) + b"WAVE" + chunks

def fmt(tag, ch, rate, avg, align, bits, extra=b""):
    return struct.pack("<HHIIHHH", tag, ch, rate, avg, align, bits, len(extra)) + extra

alaw = fmt(6, 1, 8000, 8000, 1, 8)
mulaw = fmt(7, 1, 8000, 8000, 1, 8)
codes = bytes((int(100 * math.sin(i / 3)) & 0xFF) for i in range(3000))
seeds = {
    "alaw-message": riff(chunk(b"fmt ", alaw) + chunk(b"fact", b"\0" * 4) + chunk(b"data", codes)),
    "mulaw-message": riff(chunk(b"fmt ", mulaw) + chunk(b"fact", b"\0" * 4) + chunk(b"data", codes)),
    "empty-message": riff(chunk(b"fmt ", alaw) + chunk(b"fact", b"\0" * 4) + chunk(b"data", b"")),
    "pcm-stereo": riff(chunk(b"fmt ", fmt(1, 2, 22050, 88200, 4, 16)) + chunk(b"data", codes)),
    "pcm-8bit": riff(chunk(b"fmt ", fmt(1, 1, 11025, 11025, 1, 8)[:16]) + chunk(b"data", codes)),
    "fmt-short": riff(chunk(b"fmt ", alaw[:10]) + chunk(b"data", codes)),
    "fmt-odd": riff(chunk(b"fmt ", alaw + b"x") + chunk(b"data", codes)),
    "fmt-long": riff(chunk(b"fmt ", alaw + b"\x7f" * 200) + chunk(b"data", codes)),
    "zero-rate": riff(chunk(b"fmt ", fmt(6, 1, 0, 8000, 1, 8)) + chunk(b"data", codes)),
    "zero-avg": riff(chunk(b"fmt ", fmt(6, 1, 8000, 0, 1, 8)) + chunk(b"data", codes)),
    "zero-align": riff(chunk(b"fmt ", fmt(1, 1, 8000, 16000, 0, 16)) + chunk(b"data", codes)),
    "zero-channels": riff(chunk(b"fmt ", fmt(7, 0, 8000, 8000, 1, 8)) + chunk(b"data", codes)),
    "data-past-end": riff(chunk(b"fmt ", alaw)) + b"data" + struct.pack("<I", 0xFFFFFFF0) + codes[:100],
    "fmt-past-end": riff(b"fmt " + struct.pack("<I", 0x7FFFFFF0) + alaw + chunk(b"data", codes)),
    "no-data": riff(chunk(b"fmt ", alaw) + chunk(b"fact", b"\0" * 4)),
    "list-note": riff(chunk(b"fmt ", alaw) + chunk(b"LIST", b"adtl" + chunk(b"note", b"hello\0")) + chunk(b"data", codes)),
    "nested-riff": riff(chunk(b"RIFF", b"WAVE" + chunk(b"fmt ", alaw)) + chunk(b"data", codes)),
}
full = seeds["alaw-message"]
for cut in (1, 8, 11, 12, 19, 20, 30, 37, 38, 46, 50, 57):
    seeds["cut-%02d" % cut] = full[:cut]
for name, data in seeds.items():
    with open(os.path.join(out, name + ".wav"), "wb") as f:
        f.write(data)
print("wrote %d seeds to %s" % (len(seeds), out))
