// plughost bench PLUGIN: how fast an effect processes a realistic stereo signal at 44.1 kHz.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "tools/demo/riff_synth.h"
#include "tools/plughost/commands.h"
#include "tools/plughost/host_error.h"
#include "tools/plughost/plugin.h"

namespace plughost {
namespace {

constexpr std::uint32_t kBenchRate = 44100;

struct BenchOptions {
  std::string plugin;
  std::int32_t block = 512;
  double seconds = 10.0;
  int runs = 7;
};

int runBench(const BenchOptions& o) {
  // The demo riff: plucks with silence between them, loud attacks and long decays exercise
  // whatever level-dependent paths an effect has.
  const std::vector<float> stereo = demo::synthesizeRiff(o.seconds, kBenchRate);
  const std::size_t frames = stereo.size() / 2;
  if (frames == 0) {
    throw HostError("--seconds " + std::to_string(o.seconds) + " gives no audio to process");
  }
  std::vector<float> planar[2] = {std::vector<float>(frames), std::vector<float>(frames)};
  for (std::size_t i = 0; i < frames; ++i) {
    planar[0][i] = stereo[2 * i];
    planar[1][i] = stereo[2 * i + 1];
  }

  const std::unique_ptr<Plugin> plugin = openPlugin(o.plugin);
  const ProcessMode mode = plugin->preferredMode();
  if (!plugin->supports(mode)) {
    throw HostError("the plug-in has no process entry");
  }
  const int inputs = plugin->inputCount();
  const int outputs = plugin->outputCount();
  if (inputs < 0 || inputs > 64 || outputs < 0 || outputs > 64) {
    throw HostError("the plug-in declares an implausible channel count");
  }
  plugin->setup(kBenchRate, o.block);
  plugin->setActive(true);

  // Inputs point straight into the signal, so only the plug-in's own work is timed.
  std::vector<std::vector<float>> outputBuffers(
      static_cast<std::size_t>(std::max(outputs, 1)),
      std::vector<float>(static_cast<std::size_t>(o.block)));
  std::vector<float*> in(static_cast<std::size_t>(std::max(inputs, 1)));
  std::vector<float*> out;
  out.reserve(outputBuffers.size());
  for (auto& channel : outputBuffers) {
    out.push_back(channel.data());
  }
  auto runOnce = [&] {
    const auto started = std::chrono::steady_clock::now();
    for (std::size_t position = 0; position < frames;
         position += static_cast<std::size_t>(o.block)) {
      const auto n = static_cast<std::int32_t>(
          std::min<std::size_t>(static_cast<std::size_t>(o.block), frames - position));
      for (std::size_t c = 0; c < in.size(); ++c) {
        in[c] = planar[c % 2].data() + position;
      }
      plugin->process(mode, in.data(), out.data(), n, {});
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  };

  runOnce();  // warm caches, page in the code, let the clock settle
  std::vector<double> nanosPerFrame;
  nanosPerFrame.reserve(static_cast<std::size_t>(o.runs));
  for (int run = 0; run < o.runs; ++run) {
    nanosPerFrame.push_back(runOnce() * 1e9 / static_cast<double>(frames));
  }
  plugin->setActive(false);
  std::sort(nanosPerFrame.begin(), nanosPerFrame.end());
  const double median = nanosPerFrame[nanosPerFrame.size() / 2];
  const double realTime = 1e9 / (median * kBenchRate);
  std::printf("bench %s: %.1f s of stereo riff at 44.1 kHz, block %d, %s, median of %d runs\n",
              o.plugin.c_str(), o.seconds, o.block, processModeName(mode), o.runs);
  std::printf(
      "%.1f ns per stereo frame, %.1fx real time at 44.1 kHz (fastest run %.1f ns, "
      "slowest %.1f ns)\n",
      median, realTime, nanosPerFrame.front(), nanosPerFrame.back());
  return 0;
}

}  // namespace

CommandRun defineBenchCommand(CLI::App& command) {
  auto o = std::make_shared<BenchOptions>();
  command
      .add_option("PLUGIN", o->plugin,
                  "the plug-in: a VST 2 library (.dll or .so), a VST 3 bundle or module "
                  "(.vst3), or an LV2 plug-in URI or bundle folder")
      ->required();
  command.add_option("--block", o->block, "frames per process call (default 512)")
      ->check(CLI::Range(1, 1 << 20));
  command.add_option("--seconds", o->seconds, "seconds of audio per run (default 10)")
      ->check(CLI::Range(0.01, 600.0));
  command.add_option("--runs", o->runs, "timed runs; the median is reported (default 7)")
      ->check(CLI::Range(1, 101));
  return [o] { return runBench(*o); };
}

}  // namespace plughost
