#!/usr/bin/env python3
"""Finds a tone in a recording (16-bit PCM wave, any rate; channel 1 is used).

Sound is a 5 ms window whose peak passes the threshold (default 0.05 of full
scale). Stretches of sound less than 0.25 s apart are one tone, so that a
short drop-out of the device does not split it. For the longest tone prints
  start=<s> length=<s> heard=<s> frequency=<Hz> peak=<0..1>
where length runs from its first to its last sample above the threshold and
heard adds up only the windows with sound in them: a tone played whole is
heard for its whole length even when a drop-out delayed part of it.
Exits 1 when nothing was heard.
"""
import struct
import sys
import wave

WINDOW_S = 0.005
BRIDGE_S = 0.25


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
    limit = threshold * 32768.0
    win = max(1, int(rate * WINDOW_S))
    loud = [max(abs(s) for s in samples[i : i + win]) >= limit for i in range(0, count, win)]

    # Windows with sound, grouped into tones across short gaps.
    tones = []
    bridge = int(BRIDGE_S / WINDOW_S)
    for index, on in enumerate(loud):
        if not on:
            continue
        if tones and index - tones[-1][1] <= bridge:
            tones[-1][1] = index
            tones[-1][2] += 1
        else:
            tones.append([index, index, 1])
    if not tones:
        print("no sound")
        return 1
    first_w, last_w, loud_windows = max(tones, key=lambda t: t[2])
    first = first_w * win
    last = min(count, (last_w + 1) * win)
    while first < last and abs(samples[first]) < limit:
        first += 1
    while last > first and abs(samples[last - 1]) < limit:
        last -= 1
    length = (last - first) / rate
    # Edge windows are only partly sound: count them by their samples.
    heard = (loud_windows - 2) * win / rate if loud_windows > 2 else 0.0
    heard += ((first_w + 1) * win - first) / rate + (last - last_w * win) / rate
    heard = min(heard, length)

    # The frequency from the zero crossings inside each unbroken run of sound.
    crossings = 0
    seconds = 0.0
    peak = 0
    index = first_w
    while index <= last_w:
        if not loud[index]:
            index += 1
            continue
        end = index
        while end + 1 <= last_w and loud[end + 1]:
            end += 1
        run = samples[max(first, index * win) : min(last, (end + 1) * win)]
        # Near-silent samples (dither) are left out of the sign changes.
        signs = [s < 0 for s in run if abs(s) >= 64]
        crossings += sum(1 for a, b in zip(signs, signs[1:]) if a != b)
        seconds += len(run) / rate
        peak = max([peak] + [abs(s) for s in run])
        index = end + 1
    frequency = crossings / 2 / seconds if seconds > 0 else 0.0
    peak = peak / 32768.0
    print(
        "start=%.4f length=%.4f heard=%.4f frequency=%.1f peak=%.3f"
        % (first / rate, length, heard, frequency, peak)
    )
    return 0


if __name__ == "__main__":
    sys.exit(main())
