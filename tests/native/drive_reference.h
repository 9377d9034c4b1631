// Plain scalar transcription of the drive processing, one operation at a time, used as the
// oracle that the kernel must match bit for bit. Kept deliberately naive: no vectors, no
// reordering, every rounding to float written out where it happens.
//
// It shares nothing with the kernel but the public API (effect/drive_dsp.h, band_filter.h):
// not its band table, not its lane types. The kernel's plain C++ lanes run the kernel's own
// algorithm, so they catch faults in the SSE2 lanes but not in the algorithm or the constants;
// this file, written from the recurrence, catches those. The band table below is a second copy
// on purpose: a wrong digit in either copy shows as a difference instead of being shared.
#pragma once

#include <cmath>
#include <cstdint>

#include "effect/band_filter.h"
#include "effect/drive_dsp.h"

namespace drive_reference {

struct Band {
  float gainFactor;
  double a;
  double b;
  double c;
  double threshold;
  double knee;
};

inline constexpr Band kBands[3] = {
    {700.0f, 0.02991, 2.02991, 1.030113, 0.1, 1.01111},
    {700.0f, 0.2492, 2.2492, 1.2593, 0.1, 1.01111},
    {1500.0f, 1.1397, 3.1397, 3.1141, 0.05, 1.00263},
};
inline constexpr double kOffset = 1e-7;

// One filter step followed by the clipper; returns the clipped value that the mix uses.
inline float stepAndClip(BandFilter& f, const Band& band, float sample, float gain) {
  const float x = static_cast<float>(static_cast<double>(sample) * static_cast<double>(gain));
  double acc = static_cast<double>(x) - static_cast<double>(f.input);
  acc = acc * band.a;
  acc = acc + static_cast<double>(f.output) * band.b;
  acc = acc - static_cast<double>(f.previousOutput);
  acc = acc / band.c;
  acc = acc - kOffset;
  const float y = static_cast<float>(acc);
  f.previousInput = f.input;
  f.input = x;
  f.previousOutput = f.output;
  f.output = y;

  float v = y;
  // A non-finite state would otherwise stick forever: the band restarts from rest and stays
  // out of this frame's mix.
  if (!std::isfinite(f.input) || !std::isfinite(f.output)) {
    f.input = 0.0f;
    f.previousInput = 0.0f;
    f.output = 0.0f;
    f.previousOutput = 0.0f;
    v = 0.0f;
  }
  if (v > band.threshold) {
    v = static_cast<float>(1.0 - 1.0 / (static_cast<double>(v) + band.knee));
  }
  if (v < -band.threshold) {
    v = static_cast<float>(1.0 / (band.knee - static_cast<double>(v)) - 1.0);
  }
  return v;
}

// The unrounded mix of one channel from its three clipped band values.
inline double mix(const float parameters[4], const float clipped[3]) {
  return ((static_cast<double>(parameters[2]) * static_cast<double>(clipped[2]) +
           static_cast<double>(parameters[1]) * static_cast<double>(clipped[1])) +
          static_cast<double>(parameters[0]) * static_cast<double>(clipped[0])) *
         static_cast<double>(parameters[3]);
}

}  // namespace drive_reference

// Same contract as runDriveBlock.
inline void referenceDriveBlock(const float parameters[4], BandFilter filters[kBandFilterCount],
                                const float* inLeft, const float* inRight, float* outLeft,
                                float* outRight, std::int32_t sampleFrames,
                                OutputMode mode) noexcept {
  namespace ref = drive_reference;
  const float p[4] = {parameters[0], parameters[1], parameters[2], parameters[3]};
  float gains[3];
  for (int j = 0; j < 3; ++j) {
    gains[j] = static_cast<float>(static_cast<double>(p[j]) *
                                  static_cast<double>(ref::kBands[j].gainFactor));
  }
  if (sampleFrames <= 0) {
    return;
  }
  for (std::int32_t i = 0; i < sampleFrames; ++i) {
    const float samples[2] = {inLeft[i], inRight[i]};
    float clipped[2][3];
    for (int j = 0; j < 3; ++j) {
      for (int ch = 0; ch < 2; ++ch) {
        clipped[ch][j] =
            ref::stepAndClip(filters[2 * j + ch], ref::kBands[j], samples[ch], gains[j]);
      }
    }
    float* outs[2] = {outLeft, outRight};
    for (int ch = 0; ch < 2; ++ch) {
      const double m = ref::mix(p, clipped[ch]);
      if (mode == OutputMode::replacing) {
        outs[ch][i] = static_cast<float>(m);
      } else {
        outs[ch][i] = static_cast<float>(static_cast<double>(outs[ch][i]) + m);
      }
    }
  }
}
