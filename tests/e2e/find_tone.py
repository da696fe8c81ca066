#!/usr/bin/env python3
"""Finds a tone in a recording (16-bit PCM wave, any rate, channel 1 used).

Prints "start=<s> length=<s> frequency=<Hz> peak=<0..1>" for the longest
stretch of sound, where sound means a 5 ms window whose peak passes the
threshold. Exits 1 when nothing was heard.
"""
import math
import struct
import sys
import wave


def main():
    path = sys.argv[1]
    threshold = float(sys.argv[2]) if len(sys.argv) > 2 else 0.05
    with wave.open(path, "rb") as w:
        rate = w.getframerate()
        channels = w.getnchannels()
        width = w.getsampwidth()
        raw = w.readframes(w.getnframes())
    if width != 2:
        print("only 16-bit recordings are read", file=sys.stderr)
        return 2
    count = len(raw) // (2 * channels)
    samples = struct.unpack("<%dh" % (count * channels), raw[: count * 2 * channels])[::channels]
    win = max(1, rate // 200)
    loud = []
    for i in range(0, count, win):
        chunk = samples[i : i + win]
        loud.append(max(abs(s) for s in chunk) / 32768.0 >= threshold if chunk else False)
    best = (0, 0)
    i = 0
    while i < len(loud):
        if loud[i]:
            j = i
            while j < len(loud) and loud[j]:
                j += 1
            if j - i > best[1] - best[0]:
                best = (i, j)
            i = j
        else:
            i += 1
    if best[1] == best[0]:
        print("no sound")
        return 1
    first = best[0] * win
    last = min(count, best[1] * win)
    # Refine the edges to single samples.
    limit = threshold * 32768.0
    while first < last and abs(samples[first]) < limit:
        first += 1
    while last > first and abs(samples[last - 1]) < limit:
        last -= 1
    part = samples[first:last]
    crossings = sum(1 for a, b in zip(part, part[1:]) if (a < 0) != (b < 0))
    length = (last - first) / rate
    frequency = crossings / 2 / length if length > 0 else 0
    peak = max(abs(s) for s in part) / 32768.0
    print("start=%.4f length=%.4f frequency=%.1f peak=%.3f" % (first / rate, length, frequency, peak))
    return 0


if __name__ == "__main__":
    sys.exit(main())
