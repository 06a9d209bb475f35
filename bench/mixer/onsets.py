#!/usr/bin/env python3
"""Delay from the clicks put on the microphone to the same clicks on the sink.

    onsets.py RATE MIC.raw SINK.raw

Both files are mono s16le recordings started together. A click's onset is
its first sample above a threshold after a stretch of quiet; each microphone
click is paired with the first sink click after it. Prints the delay of each
pair in milliseconds, one a line.
"""

import array
import sys

THRESHOLD = 0.2 * 32768
QUIET_SECONDS = 0.1
LONGEST_DELAY_SECONDS = 0.25


def onsets(path, rate):
    samples = array.array("h")
    with open(path, "rb") as raw:
        data = raw.read()
    samples.frombytes(data[: len(data) - len(data) % 2])
    quiet = int(QUIET_SECONDS * rate)
    found = []
    last_loud = -quiet
    for index, value in enumerate(samples):
        if abs(value) >= THRESHOLD:
            if index - last_loud >= quiet:
                found.append(index)
            last_loud = index
    return found


def main():
    rate = int(sys.argv[1])
    mic = onsets(sys.argv[2], rate)
    sink = onsets(sys.argv[3], rate)
    longest = int(LONGEST_DELAY_SECONDS * rate)
    for start in mic:
        later = [at for at in sink if start <= at <= start + longest]
        if later:
            print(f"{(later[0] - start) * 1000 / rate:.1f}")


if __name__ == "__main__":
    main()
