// Cost of the drive kernel per stereo frame, next to the cost of a single band's recurrence
// (one filter, one channel): that recurrence is a serial chain through a division, and no
// correct implementation of the six filters can run much faster than it. At the end the
// program prints kernel / chain for every block size.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_signal.h"
#include "effect/drive_dsp.h"
#include "effect/drive_kernel.h"

namespace {

using bench::kDefaultParameters;
using bench::kSignalFrames;
using bench::stepOneBandChain;

// The test signal, and the share of band values it drives into the clippers.
struct Signal {
  std::vector<float> left, right;
  double clippedShare = 0.0;  // of all band values, with the default parameters

  // The kernel runs one frame at a time here, so that every band output it leaves in the
  // records can be held against its band's threshold.
  Signal() {
    bench::makeSignal(left, right);
    BandFilter filters[kBandFilterCount] = {};
    std::int64_t clipped = 0;
    float out[2];
    for (std::int32_t i = 0; i < kSignalFrames; ++i) {
      runDriveBlock(kDefaultParameters, filters, &left[i], &right[i], &out[0], &out[1], 1,
                    OutputMode::replacing);
      for (int k = 0; k < kBandFilterCount; ++k) {
        clipped += std::fabs(filters[k].output) > drive_kernel::kBands[k / 2].threshold ? 1 : 0;
      }
    }
    clippedShare = static_cast<double>(clipped) / (6.0 * kSignalFrames);
  }
};

const Signal& signal() {
  static const Signal s;
  return s;
}

void setFrameCounters(benchmark::State& state, std::int32_t blockFrames) {
  // Seconds per stereo frame (the console shows it with an SI prefix, e.g. "10.5ns").
  state.counters["per_frame"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * blockFrames,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Walks through the signal block by block, as a host would.
template <typename Process>
void runBlocks(benchmark::State& state, Process process) {
  const auto blockFrames = static_cast<std::int32_t>(state.range(0));
  const Signal& s = signal();
  std::vector<float> outLeft(kSignalFrames), outRight(kSignalFrames);
  BandFilter filters[kBandFilterCount] = {};
  std::int32_t offset = 0;
  for (auto _ : state) {
    process(filters, s.left.data() + offset, s.right.data() + offset, outLeft.data() + offset,
            outRight.data() + offset, blockFrames);
    benchmark::DoNotOptimize(filters[0]);
    benchmark::ClobberMemory();
    offset += blockFrames;
    if (offset + blockFrames > kSignalFrames) {
      offset = 0;
    }
  }
  setFrameCounters(state, blockFrames);
}

void BM_KernelReplacing(benchmark::State& state) {
  runBlocks(state, [](BandFilter* f, const float* l, const float* r, float* ol, float* orr,
                      std::int32_t n) {
    runDriveBlock(kDefaultParameters, f, l, r, ol, orr, n, OutputMode::replacing);
  });
}

void BM_KernelAccumulating(benchmark::State& state) {
  runBlocks(state, [](BandFilter* f, const float* l, const float* r, float* ol, float* orr,
                      std::int32_t n) {
    runDriveBlock(kDefaultParameters, f, l, r, ol, orr, n, OutputMode::accumulating);
  });
}

// The same algorithm over the plain C++ lanes (scalar doubles), for comparison: what the SSE2
// lanes are worth.
void BM_PlainLanesReplacing(benchmark::State& state) {
  runBlocks(state, [](BandFilter* f, const float* l, const float* r, float* ol, float* orr,
                      std::int32_t n) {
    drive_kernel::runDriveBlockPlain(kDefaultParameters, f, l, r, ol, orr, n,
                                     OutputMode::replacing);
  });
}

void BM_OneBandChain(benchmark::State& state) {
  const auto blockFrames = static_cast<std::int32_t>(state.range(0));
  const Signal& s = signal();
  BandFilter filter = {};
  const float gain = kDefaultParameters[0] * drive_kernel::kBands[0].gainFactor;
  std::int32_t offset = 0;
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the loop idiom
    stepOneBandChain(filter, gain, s.left.data() + offset, blockFrames);
    benchmark::DoNotOptimize(filter);
    offset += blockFrames;
    if (offset + blockFrames > kSignalFrames) {
      offset = 0;
    }
  }
  setFrameCounters(state, blockFrames);
}

BENCHMARK(BM_OneBandChain)->Arg(64)->Arg(512)->Arg(4096);
BENCHMARK(BM_KernelReplacing)->Arg(64)->Arg(512)->Arg(4096);
BENCHMARK(BM_KernelAccumulating)->Arg(64)->Arg(512)->Arg(4096);
BENCHMARK(BM_PlainLanesReplacing)->Arg(64)->Arg(512)->Arg(4096);

// Console output (without colours), plus the best ns/frame of every benchmark for the closing
// ratios.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(OO_Tabular) {}

  std::map<std::string, double> best;

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) {
        continue;
      }
      const auto it = run.counters.find("per_frame");
      if (it == run.counters.end()) {
        continue;
      }
      const double ns = it->second.value * 1e9;
      auto [entry, inserted] = best.try_emplace(run.benchmark_name(), ns);
      if (!inserted && ns < entry->second) {
        entry->second = ns;
      }
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf("\nclipped share of band values: %.2f\n", signal().clippedShare);
  std::printf("%-20s %6s %10s %10s %7s\n", "kernel / chain", "block", "ns/frame", "chain ns",
              "ratio");
  for (const std::string name : {"KernelReplacing", "KernelAccumulating", "PlainLanesReplacing"}) {
    for (const int block : {64, 512, 4096}) {
      const auto kernel = reporter.best.find("BM_" + name + "/" + std::to_string(block));
      const auto chain = reporter.best.find("BM_OneBandChain/" + std::to_string(block));
      if (kernel == reporter.best.end() || chain == reporter.best.end()) {
        continue;
      }
      std::printf("%-20s %6d %10.3f %10.3f %7.2f\n", name.c_str(), block, kernel->second,
                  chain->second, kernel->second / chain->second);
    }
  }
  return 0;
}
