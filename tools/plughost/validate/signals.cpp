#include "tools/plughost/validate/signals.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "tools/plughost/validate/check.h"

namespace plughost::validate {

Channels silence(int channels, std::int32_t frames) {
  return Channels(static_cast<std::size_t>(std::max(channels, 1)),
                  std::vector<float>(static_cast<std::size_t>(frames), 0.0f));
}

std::int32_t frameCount(const Channels& audio) {
  return audio.empty() ? 0 : static_cast<std::int32_t>(audio[0].size());
}

const char* signalName(Signal signal) {
  switch (signal) {
    case Signal::silence:
      return "silence";
    case Signal::dc:
      return "DC";
    case Signal::noise:
      return "full-scale noise";
    case Signal::sweep:
      return "sine sweep";
    case Signal::denormals:
      return "denormal-range noise";
    case Signal::music:
      return "program-like material";
  }
  return "?";
}

Channels makeSignal(Signal signal, int channels, std::int32_t frames, double sampleRate,
                    std::uint64_t seed) {
  Channels audio = silence(channels, frames);
  for (std::size_t c = 0; c < audio.size(); ++c) {
    Rng rng(seed * 31 + c);
    std::vector<float>& out = audio[c];
    double phase = 0.0;
    const double top = std::max(40.0, 0.45 * sampleRate);
    for (std::int32_t i = 0; i < frames; ++i) {
      float& s = out[static_cast<std::size_t>(i)];
      switch (signal) {
        case Signal::silence:
          s = 0.0f;
          break;
        case Signal::dc:
          s = c % 2 == 0 ? 0.5f : -0.5f;
          break;
        case Signal::noise:
          s = rng.uniformFloat(-1.0f, 1.0f);
          break;
        case Signal::sweep: {
          const double t = static_cast<double>(i) / std::max(frames - 1, 1);
          const double frequency = 20.0 * std::pow(top / 20.0, t);
          phase += 2.0 * std::numbers::pi * frequency / sampleRate;
          s = static_cast<float>(0.9 * std::sin(phase + static_cast<double>(c)));
          break;
        }
        case Signal::denormals: {
          // Every bit pattern with a zero exponent and a nonzero fraction is a subnormal.
          std::uint32_t bits = static_cast<std::uint32_t>(rng.range(1, 0x007fffff));
          if (rng.chance(0.5)) {
            bits |= 0x80000000u;
          }
          std::memcpy(&s, &bits, sizeof s);
          break;
        }
        case Signal::music: {
          const double seconds = static_cast<double>(i) / sampleRate;
          const double burst = std::fmod(seconds, 0.25);
          const double envelope = std::exp(-burst * 18.0);
          s = static_cast<float>(0.3 * std::sin(2.0 * std::numbers::pi * 110.0 * seconds) +
                                 0.6 * envelope * rng.uniformFloat(-1.0f, 1.0f));
          break;
        }
      }
    }
  }
  return audio;
}

}  // namespace plughost::validate
