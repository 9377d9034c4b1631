// What both kernel timings measure: a music-like test signal, and the floor it is compared with,
// one band's recurrence alone.
#pragma once

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "effect/band_filter.h"
#include "effect/drive_kernel.h"

namespace bench {

constexpr std::int32_t kSignalFrames = 1 << 16;
constexpr float kDefaultParameters[4] = {0.5f, 0.5f, 0.5f, 0.2f};

// Plucked notes with six harmonics and a little noise, alternating every 0.37 s between loud
// (peaks near -23 dBFS) and quiet (near -46 dBFS) passages, so that the clippers are engaged
// part of the time (about half of all band values with the default parameters).
inline void makeSignal(std::vector<float>& left, std::vector<float>& right) {
  left.assign(kSignalFrames, 0.0f);
  right.assign(kSignalFrames, 0.0f);
  std::mt19937 rng(7);
  std::normal_distribution<double> noise(0.0, 1.0);
  constexpr double kNotes[] = {110.0, 146.8, 164.8, 220.0, 196.0, 130.8, 174.6, 246.9};
  constexpr double kPi = 3.14159265358979323846;
  constexpr double kSampleRate = 44100.0;
  for (std::int32_t i = 0; i < kSignalFrames; ++i) {
    const double t = i / kSampleRate;
    const double noteLength = 0.186;
    const int note = static_cast<int>(t / noteLength) % 8;
    const double envelope = std::exp(-std::fmod(t, noteLength) * 18.0);
    const double level = (static_cast<int>(t / 0.37) % 2 == 0) ? 0.03 : 0.002;
    double tone = 0.0;
    for (int h = 1; h <= 6; ++h) {
      tone += std::sin(2.0 * kPi * kNotes[note] * h * t + h) / h;
    }
    const double s = level * envelope * (tone + 0.02 * noise(rng));
    left[i] = static_cast<float>(s);
    right[i] = static_cast<float>(0.8 * s + level * 0.05 * std::sin(2.0 * kPi * 3.1 * t) * tone);
  }
}

// One band of one channel, the plain recurrence with its roundings and nothing else: a serial
// chain through a division that no correct implementation of the six filters can beat by much.
// Written here for the benchmark, with the kernel's own constants for band 1.
__attribute__((noinline)) inline void stepOneBandChain(BandFilter& f, float gain, const float* in,
                                                       std::int32_t frames) {
  const auto& band = drive_kernel::kBands[0];
  float input = f.input;
  float output = f.output;
  float previousOutput = f.previousOutput;
  for (std::int32_t i = 0; i < frames; ++i) {
    const float x = in[i] * gain;
    const float y = static_cast<float>(((static_cast<double>(x) - input) * band.a +
                                        static_cast<double>(output) * band.b - previousOutput) /
                                           band.c -
                                       drive_kernel::kOffset);
    previousOutput = output;
    output = y;
    input = x;
  }
  f = BandFilter{input, f.input, output, previousOutput};
}

}  // namespace bench
