// Test signals: planar audio and the seeded signals the checks feed an effect.
#pragma once

#include <cstdint>
#include <vector>

namespace plughost::validate {

// Planar audio: one vector per channel, all of one length.
using Channels = std::vector<std::vector<float>>;

Channels silence(int channels, std::int32_t frames);
std::int32_t frameCount(const Channels& audio);

enum class Signal {
  silence,
  dc,         // +0.5 on even channels, -0.5 on odd ones
  noise,      // full-scale white noise
  sweep,      // logarithmic sine sweep from 20 Hz to 0.45 x the sample rate, 0.9 peak
  denormals,  // white noise of float subnormals (magnitudes 1e-45 .. 1e-38)
  music,      // something like program material: decaying noise bursts over a low sine
};

const char* signalName(Signal signal);

Channels makeSignal(Signal signal, int channels, std::int32_t frames, double sampleRate,
                    std::uint64_t seed);

}  // namespace plughost::validate
