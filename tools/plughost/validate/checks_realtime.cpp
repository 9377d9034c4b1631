// Real-time safety: a process call must not allocate or wait for a lock, and must not slow down
// when the signal falls into the denormal range.
#include <algorithm>
#if defined(__SSE__)
#include <xmmintrin.h>
#endif
#include <chrono>
#include <cstdio>
#include <memory>
#include <span>

#include "tools/plughost/validate/all_checks.h"
#include "tools/plughost/validate/effect.h"
#include "tools/plughost/validate/guarded_buffers.h"
#include "tools/plughost/validate/realtime_probe.h"
#include "tools/plughost/validate/signals.h"
#include "tools/plughost/vst3_host.h"

namespace plughost::validate {
namespace {

// Process calls are counted whole, the host's side of the interface included: handing changes
// inside a block must not allocate or lock either, or the count would blame the plug-in.
std::string allocationsAndLocks(Context& context) {
  PluginSource source(context.plugin());
  const std::unique_ptr<Plugin> plugin = source.start(44100.0, 4096);
  // The calls counted are the plug-in binary's own: a VST 3 bundle's module inside it, loaded
  // by now.
  const std::filesystem::path binary = referenceFormat(context.plugin()) == PluginFormat::vst3
                                           ? vst3ModulePath(context.plugin().string())
                                           : context.plugin();
  const std::string problem = probe::instrument(binary);
  require(problem.empty(), "cannot watch the plug-in's calls: " + problem);
  const std::int32_t total = context.scaled(16384, 262144);
  const Channels input = makeSignal(Signal::music, std::max(plugin->inputCount(), 1), total,
                                    44100.0, context.rng().next());
  Channels output = silence(plugin->outputCount(), total);
  BlockRunner runner(*plugin, 4096, {plugin->preferredMode(), false});
  const std::int32_t sizes[] = {1, 64, 512, 4096, 333, 17};
  const int parameters = plugin->parameterCount();
  const int programs = plugin->programCount();
  long calls = 0;
  long changesInside = 0;
  std::int32_t position = 0;
  probe::Counts counts;
  // The runner's own checks run between the process calls, outside the counted stretches.
  while (position < total) {
    const std::int32_t n = std::min(sizes[calls % std::size(sizes)], total - position);
    if (calls % 7 == 3 && parameters > 0) {
      plugin->setParameter(0, context.rng().uniformFloat(0.0f, 1.0f));
    }
    if (calls % 29 == 11 && programs > 1) {
      plugin->setProgram(static_cast<std::int32_t>(calls % programs));
    }
    // Every fifth call carries changes of the last parameter at its start and inside it.
    ParameterChange inside[2] = {};
    std::size_t insideCount = 0;
    if (calls % 5 == 2 && parameters > 0) {
      inside[insideCount++] = {0, parameters - 1, context.rng().uniformFloat(0.0f, 1.0f)};
      if (n > 1) {
        inside[insideCount++] = {n / 2, parameters - 1, context.rng().uniformFloat(0.0f, 1.0f)};
      }
      changesInside += static_cast<long>(insideCount);
    }
    probe::begin();
    runner.run(input, output, position, n, std::span<const ParameterChange>(inside, insideCount));
    const probe::Counts block = probe::end();
    counts.heapCalls += block.heapCalls;
    counts.lockCalls += block.lockCalls;
    if (counts.detail.empty()) {
      counts.detail = block.detail;
    }
    position += n;
    ++calls;
  }
  require(counts.heapCalls == 0 && counts.lockCalls == 0,
          std::to_string(counts.heapCalls) + " heap and " + std::to_string(counts.lockCalls) +
              " lock calls inside " + std::to_string(calls) +
              " process calls (first seen: " + counts.detail + ")");
  return std::to_string(calls) + " process calls (" + std::to_string(total) +
         " frames, blocks of 1 to 4096, parameter and program changes between them, " +
         std::to_string(changesInside) +
         " changes inside them): no heap allocation or release, no lock or wait";
}

// Denormals flushed by the processor (MXCSR's flush-to-zero and denormals-are-zero bits) would
// hide what the effect does with them; hosts differ in what they set, so the check clears both.
class PlainDenormals {
 public:
#if defined(__SSE__)
  PlainDenormals() : saved_(_mm_getcsr()) {
    _mm_setcsr(saved_ & ~kFlushBits);
  }
  ~PlainDenormals() {
    _mm_setcsr(saved_);
  }

 private:
  static constexpr unsigned kFlushBits = 0x8040;
  unsigned saved_;
#endif
};

// Times one kind of input through its own instance, in runs interleaved with the other kind, and
// keeps each kind's fastest run: the least disturbed by whatever else the machine is doing.
std::string denormalSpeed(Context& context) {
  PluginSource source(context.plugin());
  PlainDenormals plain;
  const std::int32_t frames = 32768;
  const std::unique_ptr<Plugin> normal = source.start(44100.0, 512);
  const std::unique_ptr<Plugin> denormal = source.start(44100.0, 512);
  const std::uint64_t seed = context.rng().next();
  Channels normalInput =
      makeSignal(Signal::noise, std::max(normal->inputCount(), 1), frames, 44100.0, seed);
  for (auto& channel : normalInput) {
    for (float& s : channel) {
      s *= 0.5f;
    }
  }
  const Channels denormalInput =
      makeSignal(Signal::denormals, std::max(normal->inputCount(), 1), frames, 44100.0, seed);
  BlockRunner runNormal(*normal, 512, {normal->preferredMode(), false});
  BlockRunner runDenormal(*denormal, 512, {denormal->preferredMode(), false});
  Channels output = silence(std::max(normal->outputCount(), 1), frames);
  auto timeRun = [&](BlockRunner& runner, const Channels& input) {
    const auto started = std::chrono::steady_clock::now();
    for (std::int32_t position = 0; position < frames; position += 512) {
      runner.run(input, output, position, 512);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  };
  timeRun(runNormal, normalInput);
  timeRun(runDenormal, denormalInput);
  double fastestNormal = 1e30;
  double fastestDenormal = 1e30;
  const int runs = context.scaled(8, 16);
  for (int run = 0; run < runs; ++run) {
    fastestNormal = std::min(fastestNormal, timeRun(runNormal, normalInput));
    fastestDenormal = std::min(fastestDenormal, timeRun(runDenormal, denormalInput));
  }
  const double ratio = fastestDenormal / std::max(fastestNormal, 1e-9);
  const double nanosNormal = fastestNormal * 1e9 / frames;
  const double nanosDenormal = fastestDenormal * 1e9 / frames;
  char text[160];
  std::snprintf(text, sizeof text,
                "%.1f ns per frame with denormal-range input vs %.1f ns with normal input "
                "(%.2fx, best of %d runs of %d frames; the limit is 2x)",
                nanosDenormal, nanosNormal, ratio, runs, frames);
  require(ratio <= 2.0, text);
  return text;
}

}  // namespace

std::vector<Check> realtimeChecks() {
  return {
      {"realtime", "no_allocations_or_locks", allocationsAndLocks, kNeedsCallCounting},
      {"realtime", "denormal_speed", denormalSpeed, kNeedsTrueSpeed},
  };
}

}  // namespace plughost::validate
