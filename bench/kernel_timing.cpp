// The drive kernel's cost per stereo frame against one band's recurrence, as a plain program for
// the 32-bit build under Wine, where Google Benchmark is not available. Same signal and chain as
// bench/drive_bench.cpp; the minimum over interleaved rounds is kept, which is what a busy
// machine lets through most faithfully.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "bench/bench_signal.h"
#include "effect/drive_dsp.h"

namespace {

using Clock = std::chrono::steady_clock;

// Nanoseconds per frame of one pass over about a million frames, block by block.
template <typename Body>
double nanosecondsPerFrame(Body body, std::int32_t block) {
  constexpr std::int64_t kTargetFrames = 1 << 20;
  const auto start = Clock::now();
  std::int64_t done = 0;
  std::int32_t offset = 0;
  while (done < kTargetFrames) {
    body(offset, block);
    done += block;
    offset += block;
    if (offset + block > bench::kSignalFrames) {
      offset = 0;
    }
  }
  const std::chrono::duration<double, std::nano> elapsed = Clock::now() - start;
  return elapsed.count() / static_cast<double>(done);
}

}  // namespace

int main() {
  std::vector<float> left, right;
  bench::makeSignal(left, right);
  std::vector<float> outLeft(left.size()), outRight(right.size());
  BandFilter filters[kBandFilterCount] = {};
  BandFilter one = {};
  const float chainGain = 350.0f;  // band 1 at the default drive

  std::printf("%6s %12s %12s %12s %10s %10s\n", "block", "chain ns", "replacing", "accumul.",
              "ratio rep", "ratio acc");
  for (const std::int32_t block : {64, 512, 4096}) {
    double chain = 1e30, replacing = 1e30, accumulating = 1e30;
    const auto kernel = [&](OutputMode mode) {
      return [&, mode](std::int32_t offset, std::int32_t frames) {
        runDriveBlock(bench::kDefaultParameters, filters, left.data() + offset,
                      right.data() + offset, outLeft.data() + offset, outRight.data() + offset,
                      frames, mode);
      };
    };
    for (int round = 0; round < 25; ++round) {
      chain = std::min(chain, nanosecondsPerFrame(
                                  [&](std::int32_t offset, std::int32_t frames) {
                                    bench::stepOneBandChain(one, chainGain, left.data() + offset,
                                                            frames);
                                  },
                                  block));
      replacing = std::min(replacing, nanosecondsPerFrame(kernel(OutputMode::replacing), block));
      accumulating =
          std::min(accumulating, nanosecondsPerFrame(kernel(OutputMode::accumulating), block));
    }
    std::printf("%6d %12.3f %12.3f %12.3f %10.2f %10.2f\n", block, chain, replacing, accumulating,
                replacing / chain, accumulating / chain);
  }
  // Printing the final states keeps the timed work from being optimised away.
  std::printf("final band states %g %g\n", static_cast<double>(one.output),
              static_cast<double>(filters[0].output));
  return 0;
}
