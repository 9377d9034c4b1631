"""The Ardour test's signal and comparison.

    drive_signal.py write INPUT.wav FRAMES SILENCE
        the test signal (test_signal.lua's formula) after SILENCE frames of silence, 32-bit float
    drive_signal.py compare ARDOUR.wav PLUGHOST.wav FRAMES SILENCE
        Ardour's export against plughost's render after its SILENCE frames; exit 1 on any
        difference. The float samples are read straight from the files: a converter such as SoX
        rounds float output to a 24-bit grid.
"""
import struct
import sys

import numpy as np


def signal(frames):
    n = np.arange(frames)

    def triangle(k, period):
        return np.abs((k % period) / (period / 4) - 2) - 1

    left = 0.375 * triangle(n, 256) + 0.25 * np.where(n % 150 < 75, 1, -1) + 0.125 * triangle(n, 64)
    right = 0.5 * triangle(n, 512) - 0.25 * np.where(n % 98 < 49, 1, -1)
    both = np.stack([left, right], axis=1)
    floats = both.astype("<f4")
    assert np.array_equal(floats.astype(np.float64), both), "the signal must be exact in float"
    return floats


def write_float_wav(path, samples, rate=48000):
    body = samples.astype("<f4").tobytes()
    channels = samples.shape[1]
    fmt = struct.pack("<HHIIHH", 3, channels, rate, rate * 4 * channels, 4 * channels, 32)
    chunks = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt
    chunks += b"data" + struct.pack("<I", len(body)) + body
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", len(chunks)) + chunks)


def read_float_wav(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise SystemExit(f"{path}: not a WAV file")
    position = 12
    channels = None
    while position + 8 <= len(data):
        chunk = data[position:position + 4]
        size = struct.unpack("<I", data[position + 4:position + 8])[0]
        body = data[position + 8:position + 8 + size]
        if chunk == b"fmt ":
            tag, channels, _, _, _, bits = struct.unpack("<HHIIHH", body[:16])
            if bits != 32 or tag not in (3, 0xFFFE):
                raise SystemExit(f"{path}: not 32-bit float (format {tag}, {bits} bits)")
        elif chunk == b"data" and channels:
            return np.frombuffer(body, dtype="<f4").reshape(-1, channels)
        position += 8 + size + (size & 1)
    raise SystemExit(f"{path}: no sample data")


def main():
    command = sys.argv[1]
    frames, silence = int(sys.argv[-2]), int(sys.argv[-1])
    if command == "write":
        write_float_wav(sys.argv[2], np.concatenate([np.zeros((silence, 2), "<f4"), signal(frames)]))
        return 0
    ardour = read_float_wav(sys.argv[2])
    plughost = read_float_wav(sys.argv[3])[silence:]
    if ardour.shape != (frames, 2) or plughost.shape != (frames, 2):
        print(f"ardour_test: frame counts: Ardour {ardour.shape}, plughost {plughost.shape}")
        return 1
    differing = np.nonzero(np.any(ardour != plughost, axis=1))[0]
    print(f"ardour_test: {frames} stereo frames compared, {len(differing)} differ")
    if len(differing):
        first = differing[0]
        print(f"  first at frame {first}: Ardour {ardour[first]}, plughost {plughost[first]}")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
