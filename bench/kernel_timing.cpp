// Stand-alone timing of the drive kernel against one band's recurrence (for the 32-bit build
// under Wine, where Google Benchmark is not available). Same signal as bench/drive_bench.cpp.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>
#include "effect/drive_dsp.h"
#include "tests/native/drive_reference.h"
using Clock = std::chrono::steady_clock;
constexpr int kFrames = 1 << 16;
const float kP[4] = {0.5f, 0.5f, 0.5f, 0.2f};
__attribute__((noinline)) void chain(BandFilter& f, float gain, const float* in, int frames) {
  const auto& band = drive_reference::kBands[0];
  float input = f.input, output = f.output, previousOutput = f.previousOutput;
  for (int i = 0; i < frames; ++i) {
    const float x = in[i] * gain;
    const float y = static_cast<float>(((static_cast<double>(x) - input) * band.a +
                                        static_cast<double>(output) * band.b - previousOutput) /
                                           band.c -
                                       drive_reference::kOffset);
    previousOutput = output;
    output = y;
    input = x;
  }
  f = BandFilter{input, f.input, output, previousOutput};
}
int main() {
  std::vector<float> left(kFrames), right(kFrames), ol(kFrames), orr(kFrames);
  std::mt19937 rng(7);
  std::normal_distribution<double> noise(0.0, 1.0);
  const double notes[] = {110.0, 146.8, 164.8, 220.0, 196.0, 130.8, 174.6, 246.9};
  for (int i = 0; i < kFrames; ++i) {
    const double t = i / 44100.0;
    const int note = static_cast<int>(t / 0.186) % 8;
    const double env = std::exp(-std::fmod(t, 0.186) * 18.0);
    const double level = (static_cast<int>(t / 0.37) % 2 == 0) ? 0.03 : 0.002;
    double tone = 0;
    for (int h = 1; h <= 6; ++h)
      tone += std::sin(2.0 * 3.14159265358979 * notes[note] * h * t + h) / h;
    const double s = level * env * (tone + 0.02 * noise(rng));
    left[i] = float(s);
    right[i] = float(0.8 * s + level * 0.05 * std::sin(2.0 * 3.14159265358979 * 3.1 * t) * tone);
  }
  // One timed run of about a million frames; the minimum over interleaved rounds is kept.
  auto once = [&](auto body, int block) {
    const long target = 1 << 20;
    auto t0 = Clock::now();
    long done = 0;
    int off = 0;
    while (done < target) {
      body(off, block);
      done += block;
      off += block;
      if (off + block > kFrames)
        off = 0;
    }
    auto t1 = Clock::now();
    return std::chrono::duration<double, std::nano>(t1 - t0).count() / done;
  };
  BandFilter filters[6] = {}, one = {};
  std::printf("%6s %12s %12s %12s %10s %10s\n", "block", "chain ns", "replacing", "accumul.",
              "ratio rep", "ratio acc");
  for (int block : {64, 512, 4096}) {
    double c = 1e30, r = 1e30, a = 1e30;
    for (int round = 0; round < 25; ++round) {
      c = std::min(c,
                   once([&](int off, int n) { chain(one, 350.0f, left.data() + off, n); }, block));
      r = std::min(r, once(
                          [&](int off, int n) {
                            runDriveBlock(kP, filters, left.data() + off, right.data() + off,
                                          ol.data() + off, orr.data() + off, n,
                                          OutputMode::replacing);
                          },
                          block));
      a = std::min(a, once(
                          [&](int off, int n) {
                            runDriveBlock(kP, filters, left.data() + off, right.data() + off,
                                          ol.data() + off, orr.data() + off, n,
                                          OutputMode::accumulating);
                          },
                          block));
    }
    std::printf("%6d %12.3f %12.3f %12.3f %10.2f %10.2f\n", block, c, r, a, r / c, a / c);
  }
  // Printing the final states keeps the timed work from being optimised away.
  std::printf("final band states %g %g\n", static_cast<double>(one.output),
              static_cast<double>(filters[0].output));
}
