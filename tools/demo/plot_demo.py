#!/usr/bin/python3
"""Plots what the drive effect does to the demo riff: a short stretch of the waveforms and the
average spectra of the dry and processed files, into one PNG.

    plot_demo.py DRY.wav PROCESSED.wav [MORE.wav...] OUT.png
"""
import struct
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402


def read_wav(path):
    """Samples as float64 (frames x channels) and the sample rate. Python's wave module reads
    PCM only; the demo's files are 32-bit float, so the chunks are walked here."""
    data = open(path, "rb").read()
    if data[0:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise SystemExit(f"{path}: not a RIFF/WAVE file")
    pos, fmt = 12, None
    while pos + 8 <= len(data):
        chunk, size = data[pos:pos + 4], struct.unpack("<I", data[pos + 4:pos + 8])[0]
        body = data[pos + 8:pos + 8 + size]
        if chunk == b"fmt ":
            tag, channels, rate, _, _, bits = struct.unpack("<HHIIHH", body[:16])
            if tag == 0xFFFE:
                tag = struct.unpack("<H", body[24:26])[0]
            fmt = (tag, channels, rate, bits)
        elif chunk == b"data":
            tag, channels, rate, bits = fmt
            if tag == 3 and bits == 32:
                samples = np.frombuffer(body, "<f4").astype(np.float64)
            elif tag == 1 and bits == 16:
                samples = np.frombuffer(body, "<i2") / 32768.0
            else:
                raise SystemExit(f"{path}: only 32-bit float and 16-bit PCM are plotted")
            return samples.reshape(-1, channels), rate
        pos += 8 + size + (size & 1)
    raise SystemExit(f"{path}: no data chunk")


def spectrum_db(mono, rate, size=4096):
    """Average magnitude spectrum in dB full scale (Hann windows, half overlap)."""
    window = np.hanning(size)
    frames = [mono[i:i + size] * window for i in range(0, len(mono) - size, size // 2)]
    magnitude = np.mean([np.abs(np.fft.rfft(f)) for f in frames], axis=0)
    magnitude *= 2.0 / window.sum()
    return np.fft.rfftfreq(size, 1.0 / rate), 20.0 * np.log10(np.maximum(magnitude, 1e-9))


def main():
    if len(sys.argv) < 4:
        raise SystemExit(__doc__)
    inputs, output = sys.argv[1:-1], sys.argv[-1]
    labels = ["dry" if i == 0 else name.rsplit("/", 1)[-1].removesuffix(".wav")
              for i, name in enumerate(inputs)]
    signals = [read_wav(path) for path in inputs]

    fig, axes = plt.subplots(len(signals) + 1, 1, figsize=(11, 3 + 2.2 * len(signals)),
                             constrained_layout=True,
                             gridspec_kw={"height_ratios": [1] * len(signals) + [2]})
    rate = signals[0][1]
    start, length = int(1.1 * rate), int(0.02 * rate)  # a pluck after its attack
    t = np.arange(length) / rate * 1000.0
    colours = plt.rcParams["axes.prop_cycle"].by_key()["color"]
    for index, ((samples, _), label) in enumerate(zip(signals, labels)):
        ax = axes[index]
        ax.plot(t, samples[start:start + length, 0], color=colours[index], linewidth=1.0)
        ax.set_ylim(-1.05, 1.05)
        ax.set_ylabel(label)
        ax.grid(alpha=0.3)
        if index == 0:
            ax.set_title("Left channel, 20 ms from 1.1 s")
    axes[len(signals) - 1].set_xlabel("time (ms)")

    spec_ax = axes[-1]
    for (samples, rate), label in zip(signals, labels):
        freq, level = spectrum_db(samples.mean(axis=1), rate)
        spec_ax.semilogx(freq[1:], level[1:], label=label, linewidth=1.0)
    spec_ax.set_title("Average spectrum (left and right mixed)")
    spec_ax.set_xlim(20, rate / 2)
    spec_ax.set_ylim(-140, 0)
    spec_ax.set_xlabel("frequency (Hz)")
    spec_ax.set_ylabel("level (dB full scale)")
    spec_ax.grid(alpha=0.3, which="both")
    spec_ax.legend(loc="upper right")

    fig.suptitle("DriveEffect on the demo riff")
    fig.savefig(output, dpi=100)


if __name__ == "__main__":
    main()
