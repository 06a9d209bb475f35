#!/usr/bin/env python3
"""The "Line out" meter's lag behind the sound it shows.

    meter_lag.py WINDOW_ID LED_X ONSETS.wav

Records the null sink's monitor (pelkora_null.monitor) in blocks of a
millisecond and dates every frame on CLOCK_MONOTONIC: frame k played at
S0 + k / rate, S0 the smallest (arrival - frames received / rate) of any block,
the block least delayed on its way. Meanwhile it reads one pixel of the
meter's first LED (column LED_X of the window) every millisecond, as the
desktop tests read the LEDs. ONSETS.wav (silence, then a loud tone, again and
again) is played into the sink. For each onset, the first sample above the
threshold after a stretch of quiet, prints the delay in milliseconds to the
moment that LED lit, one a line; an onset the LED did not follow within
LONGEST_LAG_SECONDS prints "-".
"""

import array
import ctypes
import subprocess
import sys
import threading
import time

RATE = 48000
BLOCK_FRAMES = 48
THRESHOLD = 0.2 * 32768
QUIET_SECONDS = 0.5
LONGEST_LAG_SECONDS = 0.5
POLL_SECONDS = 0.001


class SampleSpec(ctypes.Structure):
    _fields_ = [("format", ctypes.c_int), ("rate", ctypes.c_uint32), ("channels", ctypes.c_uint8)]


class BufferAttr(ctypes.Structure):
    _fields_ = [(name, ctypes.c_uint32)
                for name in ("maxlength", "tlength", "prebuf", "minreq", "fragsize")]


class XImage(ctypes.Structure):
    _fields_ = [(name, ctypes.c_int) for name in ("width", "height", "xoffset", "format")] + \
        [("data", ctypes.POINTER(ctypes.c_uint8))] + \
        [(name, ctypes.c_int) for name in ("byte_order", "bitmap_unit", "bitmap_bit_order",
                                           "bitmap_pad", "depth", "bytes_per_line",
                                           "bits_per_pixel")]


class Recorder(threading.Thread):
    def __init__(self):
        super().__init__(daemon=True)
        self.pulse = ctypes.CDLL("libpulse-simple.so.0")
        self.pulse.pa_simple_new.restype = ctypes.c_void_p
        self.pulse.pa_simple_read.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_size_t,
                                              ctypes.POINTER(ctypes.c_int)]
        spec = SampleSpec(3, RATE, 1)  # PA_SAMPLE_S16LE, mono
        attr = BufferAttr(0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, BLOCK_FRAMES * 2)
        error = ctypes.c_int(0)
        self.stream = self.pulse.pa_simple_new(
            None, b"meter-lag", 2, b"pelkora_null.monitor", b"onsets", ctypes.byref(spec),
            None, ctypes.byref(attr), ctypes.byref(error))  # 2: PA_STREAM_RECORD
        if not self.stream:
            sys.exit(f"meter_lag.py: cannot record pelkora_null.monitor (error {error.value})")
        self.samples = array.array("h")
        self.first_frame = float("inf")
        self.running = True

    def run(self):
        block = (ctypes.c_int16 * BLOCK_FRAMES)()
        error = ctypes.c_int(0)
        while self.running:
            if self.pulse.pa_simple_read(self.stream, block, ctypes.sizeof(block),
                                         ctypes.byref(error)) < 0:
                return
            arrival = time.monotonic()
            self.samples.extend(block)
            self.first_frame = min(self.first_frame, arrival - len(self.samples) / RATE)

    def onset_times(self):
        quiet = int(QUIET_SECONDS * RATE)
        found = []
        last_loud = -quiet
        for index, value in enumerate(self.samples):
            if abs(value) >= THRESHOLD:
                if index - last_loud >= quiet:
                    found.append(self.first_frame + index / RATE)
                last_loud = index
        return found


class LedWatch:
    def __init__(self, window, x):
        self.x11 = ctypes.CDLL("libX11.so.6")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XGetImage.restype = ctypes.POINTER(XImage)
        self.x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                       ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        self.x11.XDestroyImage.argtypes = [ctypes.POINTER(XImage)]
        self.display = self.x11.XOpenDisplay(None)
        if not self.display:
            sys.exit("meter_lag.py: cannot open the X display")
        self.window = window
        self.x = x
        self.y = self.led_row() + 8

    def pixel(self, x, y):
        image = self.x11.XGetImage(self.display, self.window, x, y, 1, 1, 0xFFFFFFFF, 2)
        if not image:
            sys.exit("meter_lag.py: cannot read the window")
        blue, green, red = image.contents.data[0], image.contents.data[1], image.contents.data[2]
        self.x11.XDestroyImage(image)
        return red, green, blue

    # The first green pixel down the LED's column: the top of the LED row.
    def led_row(self):
        for y in range(80):
            red, green, blue = self.pixel(self.x, y)
            if red < 90 < green - 10 and blue < 90 and green > 100:
                return y
        sys.exit("meter_lag.py: no meter LED in the window")

    def lit(self):
        return max(self.pixel(self.x, self.y)) >= 230


def main():
    window, led_x, onsets_file = int(sys.argv[1], 0), int(sys.argv[2]), sys.argv[3]
    watch = LedWatch(window, led_x)
    recorder = Recorder()
    recorder.start()
    time.sleep(0.5)
    player = subprocess.Popen(["paplay", "-d", "pelkora_null", onsets_file])
    lightings = []
    was_lit = watch.lit()
    end = None
    while end is None or time.monotonic() < end:
        if end is None and player.poll() is not None:
            end = time.monotonic() + 1.0
        now = time.monotonic()
        lit = watch.lit()
        if lit and not was_lit:
            lightings.append(now)
        was_lit = lit
        time.sleep(POLL_SECONDS)
    recorder.running = False
    for onset in recorder.onset_times():
        later = [at for at in lightings if onset - 0.005 <= at <= onset + LONGEST_LAG_SECONDS]
        print(f"{(later[0] - onset) * 1000:.1f}" if later else "-")


if __name__ == "__main__":
    main()
