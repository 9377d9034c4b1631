#include "tools/demo/riff_synth.h"

#include <algorithm>
#include <cstddef>

namespace demo {
namespace {

// Equal-tempered pitches in Hz, written out so no pow() is involved.
constexpr double kE2 = 82.406889, kG2 = 97.998859, kA2 = 110.0, kB2 = 123.470825, kD3 = 146.832384,
                 kE3 = 164.813778, kG3 = 195.997718, kA3 = 220.0, kB3 = 246.941651,
                 kD4 = 293.664768;

// One eighth note per step at 120 beats per minute; a step holds up to two pitches (0 = none).
struct Step {
  double low;
  double high;
};
constexpr Step kPattern[] = {
    {kE2, kB2}, {kE2, 0}, {kG2, 0},   {kA2, 0}, {kE2, kB2}, {kD3, 0},   {kE3, 0}, {kD3, 0},
    {kA2, kE3}, {kA2, 0}, {kG2, 0},   {kE2, 0}, {kG2, kD3}, {kA2, 0},   {kB2, 0}, {kD3, 0},
    {kE3, kB3}, {kD3, 0}, {kB2, 0},   {kA2, 0}, {kG3, 0},   {kE3, 0},   {kD4, 0}, {kB3, 0},
    {kA2, kE3}, {kG2, 0}, {kE2, kB2}, {0, 0},   {kE2, 0},   {kA3, kE3}, {kG2, 0}, {kE2, kB2},
};
constexpr double kStepSeconds = 0.25;
constexpr double kRingSeconds = 1.6;

// Deterministic noise for the pluck's initial excitation.
class Noise {
 public:
  double next() {
    state_ = state_ * 1664525u + 1013904223u;
    return static_cast<double>(state_ >> 8) / 8388608.0 - 1.0;
  }

 private:
  std::uint32_t state_ = 0x1234567u;
};

// One plucked string: a delay line with an averaging, slightly lossy loop filter and a
// first-order all-pass for the fractional part of the period.
class String {
 public:
  String(double frequency, std::uint32_t sampleRate, double pan, double level, Noise& noise,
         std::size_t start)
      : start_(start), level_(level) {
    double period = static_cast<double>(sampleRate) / frequency - 0.5;  // the average delays 1/2
    auto length = static_cast<std::size_t>(period);
    double fraction = period - static_cast<double>(length);
    if (fraction < 0.1) {  // keep the all-pass away from its unstable corner
      length -= 1;
      fraction += 1.0;
    }
    allpass_ = (1.0 - fraction) / (1.0 + fraction);
    line_.resize(length);
    // A soft pick: the noise burst is smoothed a little so the attack is not all hiss.
    double smooth = 0.0;
    double sum = 0.0;
    for (double& sample : line_) {
      smooth = smooth * 0.7 + noise.next() * 0.3;
      sample = smooth;
      sum += smooth;
    }
    // The loop filter passes DC untouched; a burst without any keeps the riff centred on zero.
    const double mean = sum / static_cast<double>(line_.size());
    for (double& sample : line_) {
      sample -= mean;
    }
    left_ = 1.0 - 0.45 * pan;
    right_ = 0.55 + 0.45 * pan;
  }

  std::size_t start() const { return start_; }

  void render(float* stereo, std::size_t frames, double decay) {
    const std::size_t n = line_.size();
    for (std::size_t i = 0; i < frames; ++i) {
      double current = line_[position_];
      double averaged = (current + previous_) * 0.5 * decay;
      previous_ = current;
      double shifted = allpass_ * (averaged - allpassOut_) + allpassIn_;
      allpassIn_ = averaged;
      allpassOut_ = shifted;
      line_[position_] = shifted;
      position_ = position_ + 1 == n ? 0 : position_ + 1;
      double out = current * level_;
      stereo[2 * i] += static_cast<float>(out * left_);
      stereo[2 * i + 1] += static_cast<float>(out * right_);
    }
  }

 private:
  std::size_t start_;
  double level_;
  std::vector<double> line_;
  std::size_t position_ = 0;
  double previous_ = 0.0;
  double allpass_ = 0.0;
  double allpassIn_ = 0.0;
  double allpassOut_ = 0.0;
  double left_ = 1.0;
  double right_ = 1.0;
};

}  // namespace

std::vector<float> synthesizeRiff(double seconds, std::uint32_t sampleRate) {
  const auto frames = static_cast<std::size_t>(seconds * static_cast<double>(sampleRate));
  std::vector<float> stereo(frames * 2, 0.0f);
  if (frames == 0) {
    return stereo;
  }
  const auto stepFrames = static_cast<std::size_t>(kStepSeconds * static_cast<double>(sampleRate));
  const auto ringFrames = static_cast<std::size_t>(kRingSeconds * static_cast<double>(sampleRate));
  Noise noise;
  std::size_t step = 0;
  for (std::size_t start = 0; start < frames; start += stepFrames, ++step) {
    const Step& s = kPattern[step % std::size(kPattern)];
    // Accents on the beat; the second half of every other bar is played a little softer.
    double level = (step % 2 == 0 ? 1.0 : 0.7) * (step % 16 >= 12 ? 0.8 : 1.0);
    for (double frequency : {s.low, s.high}) {
      if (frequency == 0.0) {
        continue;
      }
      // Low strings sit left of centre, high ones right.
      double pan = (frequency - kE2) / (kD4 - kE2);
      String string(frequency, sampleRate, pan, level, noise, start);
      std::size_t length = std::min(ringFrames, frames - start);
      string.render(&stereo[2 * start], length, 0.9985);
    }
  }
  float peak = 0.0f;
  for (float sample : stereo) {
    peak = std::max(peak, sample < 0.0f ? -sample : sample);
  }
  if (peak > 0.0f) {
    const double scale = 0.5 / static_cast<double>(peak);
    for (float& sample : stereo) {
      sample = static_cast<float>(static_cast<double>(sample) * scale);
    }
  }
  return stereo;
}

}  // namespace demo
