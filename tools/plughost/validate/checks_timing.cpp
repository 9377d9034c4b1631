// Timing: the cost of a block at several sizes, reported for the record and never judged: how
// fast is fast enough depends on the machine and what else it runs, so no number here can be a
// verdict. The blocks still go through the runner's guarded buffers, so an effect that writes
// past them while being timed fails this report like any check.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>

#include "tools/plughost/validate/all_checks.h"
#include "tools/plughost/validate/effect.h"
#include "tools/plughost/validate/guarded_buffers.h"
#include "tools/plughost/validate/signals.h"

namespace plughost::validate {
namespace {

std::string blockTimes(Context& context) {
  PluginSource source(context.plugin());
  const std::int32_t frames = context.scaled(32768, 262144);
  std::string report;
  for (std::int32_t block : {32, 64, 256, 1024, 4096}) {
    const std::unique_ptr<Plugin> plugin = source.start(44100.0, block);
    const Channels input = makeSignal(Signal::music, std::max(plugin->inputCount(), 1), frames,
                                      44100.0, context.rng().next());
    Channels output = silence(plugin->outputCount(), frames);
    BlockRunner runner(*plugin, block, {plugin->preferredMode(), false});
    double fastest = 1e30;
    for (int run = 0; run < 3; ++run) {
      const auto started = std::chrono::steady_clock::now();
      for (std::int32_t position = 0; position + block <= frames; position += block) {
        runner.run(input, output, position, block);
      }
      fastest = std::min(
          fastest,
          std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    }
    const std::int32_t wholeBlocks = frames / block;  // a partial last block is not run
    const double blocks = wholeBlocks;
    char line[96];
    std::snprintf(line, sizeof line, "%s%d: %.2f us/block (%.1f ns/frame)",
                  report.empty() ? "" : ", ", block, fastest * 1e6 / blocks,
                  fastest * 1e9 / (blocks * block));
    report += line;
  }
  return report + "; best of 3 runs of " + std::to_string(frames) +
         " frames, the host's buffer copies and guard checks included";
}

}  // namespace

std::vector<Check> timingChecks() {
  return {
      {"timing", "block_times", blockTimes, kNeedsNothing, CheckKind::report},
  };
}

}  // namespace plughost::validate
