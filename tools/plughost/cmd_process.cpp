// plughost process PLUGIN IN.wav OUT.wav: streams a file through an effect block by block.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "tools/plughost/block_processor.h"
#include "tools/plughost/commands.h"
#include "tools/plughost/host_error.h"
#include "tools/plughost/output_file.h"
#include "tools/plughost/parameter_assignment.h"
#include "tools/plughost/plugin.h"
#include "tools/plughost/progress_bar.h"
#include "tools/plughost/wav_file.h"

namespace plughost {
namespace {

struct ProcessOptions {
  std::string plugin;
  std::string input;
  std::string output;
  std::vector<std::string> parameters;
  std::optional<std::int32_t> program;
  std::int32_t block = 512;
  std::optional<std::uint32_t> rate;
  std::string mode = "replacing";
  bool pcm16 = false;
  bool pcm24 = false;
};

std::string quoted(const std::string& path) {
  return "'" + path + "'";
}

// The timed --param changes in frame order, and a cursor that hands out each block's share.
class TimedChanges {
 public:
  explicit TimedChanges(const std::vector<ParameterAssignment>& assignments) {
    for (const auto& a : assignments) {
      if (a.frame) {
        all_.push_back({*a.frame, {0, a.index, a.value}});
      }
    }
    std::stable_sort(all_.begin(), all_.end(),
                     [](const Timed& x, const Timed& y) { return x.frame < y.frame; });
    block_.reserve(all_.size());
  }

  // The changes inside [first, first + frames), with frames counted from the block's start.
  std::span<const ParameterChange> inBlock(std::uint64_t first, std::int32_t frames) {
    block_.clear();
    while (next_ < all_.size() && all_[next_].frame < first + static_cast<std::uint64_t>(frames)) {
      const Timed& t = all_[next_++];
      block_.push_back(
          {static_cast<std::int32_t>(t.frame - first), t.change.index, t.change.value});
    }
    return block_;
  }

 private:
  struct Timed {
    std::uint64_t frame;
    ParameterChange change;
  };
  std::vector<Timed> all_;
  std::vector<ParameterChange> block_;
  std::size_t next_ = 0;
};

int runProcess(const ProcessOptions& o) {
  std::vector<ParameterAssignment> assignments;
  for (const auto& text : o.parameters) {
    assignments.push_back(parseParameterAssignment(text));
  }
  // The option's check admits only the two names.
  const ProcessMode mode = processModeFromName(o.mode).value_or(ProcessMode::replacing);

  wav::WavReader reader(o.input);
  const wav::StreamFormat& in = reader.format();
  const std::uint32_t rate = o.rate.value_or(in.sampleRate);

  const std::unique_ptr<Plugin> plugin = openPlugin(o.plugin);
  resolveParameterAssignments(assignments, *plugin);
  if (o.program && *o.program >= plugin->programCount()) {
    throw HostError("bad --program " + std::to_string(*o.program) + ": the plug-in has " +
                    std::to_string(plugin->programCount()) + " programs");
  }
  if (plugin->outputCount() < 1) {
    throw HostError("the plug-in has no outputs");
  }
  if (in.channels > 1 && plugin->inputCount() < in.channels) {
    throw HostError(quoted(o.input) + " has " + std::to_string(in.channels) +
                    " channels but the plug-in takes " + std::to_string(plugin->inputCount()) +
                    " inputs");
  }

  plugin->setup(rate, o.block);
  if (o.program) {
    plugin->setProgram(*o.program);
  }
  for (const auto& a : assignments) {
    if (!a.frame) {
      plugin->setParameter(a.index, a.value);
    }
  }
  TimedChanges timed(assignments);
  BlockProcessor processor(*plugin, mode, o.block);

  wav::StreamFormat outFormat;
  outFormat.encoding = o.pcm16   ? wav::SampleEncoding::pcm16
                       : o.pcm24 ? wav::SampleEncoding::pcm24
                                 : wav::SampleEncoding::float32;
  outFormat.channels = plugin->outputCount() >= 2 ? 2 : 1;
  outFormat.sampleRate = rate;
  if (plugin->outputCount() > 2) {
    std::fprintf(stderr, "plughost: note: the plug-in has %d outputs; writing the first two\n",
                 plugin->outputCount());
  }
  AtomicOutputFile outFile(o.output);
  wav::WavWriter writer(outFile.stream(), outFormat, quoted(o.output));

  const auto block = static_cast<std::size_t>(o.block);
  std::vector<float> inBlock(block * static_cast<std::size_t>(in.channels));
  std::vector<float> outBlock(block * static_cast<std::size_t>(outFormat.channels));
  const std::uint64_t totalFrames = reader.frameCount();
  std::uint64_t done = 0;
  std::uint64_t nonFinite = 0;
  ProgressBar progress(totalFrames, standardErrorIsTerminal());

  const auto started = std::chrono::steady_clock::now();
  plugin->setActive(true);
  while (std::size_t frames = reader.read(inBlock.data(), block)) {
    const auto n = static_cast<std::int32_t>(frames);
    processor.loadInterleaved(inBlock.data(), in.channels, n);
    processor.run(n, timed.inBlock(done, n));
    processor.storeInterleaved(outBlock.data(), outFormat.channels, n);
    for (std::size_t i = 0; i < frames * static_cast<std::size_t>(outFormat.channels); ++i) {
      nonFinite += std::isfinite(outBlock[i]) ? 0 : 1;
    }
    writer.write(outBlock.data(), frames);
    done += frames;
    progress.update(done);
  }
  plugin->setActive(false);
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  progress.finish();

  reader.close();  // the output may replace the input
  writer.finish();
  outFile.commit();

  if (nonFinite > 0) {
    std::fprintf(stderr,
                 "plughost: warning: the plug-in produced %llu non-finite output samples%s\n",
                 static_cast<unsigned long long>(nonFinite),
                 outFormat.encoding == wav::SampleEncoding::float32 ? "" : " (written as 0)");
  }
  const double audioSeconds = static_cast<double>(done) / static_cast<double>(rate);
  std::printf(
      "wrote %s: %llu frames, %.3f s of audio at %u Hz, processed in %.3f s (%.1fx real "
      "time)\n",
      o.output.c_str(), static_cast<unsigned long long>(done), audioSeconds, rate, elapsed,
      elapsed > 0.0 ? audioSeconds / elapsed : 0.0);
  return 0;
}

}  // namespace

CommandRun defineProcessCommand(CLI::App& command) {
  auto o = std::make_shared<ProcessOptions>();
  command
      .add_option("PLUGIN", o->plugin,
                  "the plug-in: a VST 2 library (.dll or .so), a VST 3 bundle or module "
                  "(.vst3), or an LV2 plug-in URI or bundle folder")
      ->required();
  command.add_option("IN.wav", o->input, "input: PCM 16/24/32-bit or 32-bit float, mono or stereo")
      ->required();
  command.add_option("OUT.wav", o->output, "output, 32-bit float unless --pcm16/--pcm24")
      ->required();
  command
      .add_option("--param", o->parameters,
                  "set parameter INDEX (or LV2 port SYMBOL) to VALUE (0..1) before the run, or "
                  "at frame F of the run with I=V@F (at that very sample in VST 3; VST 2 and "
                  "LV2 blocks are split there)")
      ->type_name("I=V[@F]")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  command.add_option("--program", o->program, "select program N before the parameters are set")
      ->check(CLI::NonNegativeNumber);
  command.add_option("--block", o->block, "frames per process call (default 512)")
      ->check(CLI::Range(1, 1 << 20));
  command
      .add_option("--rate", o->rate,
                  "sample rate told to the plug-in and written to OUT.wav "
                  "(default: the input's; no resampling)")
      ->check(CLI::Range(1u, 1536000u));
  command.add_option("--mode", o->mode, "process entry: replacing (default) or accumulating")
      ->check(CLI::IsMember(
          {processModeName(ProcessMode::replacing), processModeName(ProcessMode::accumulating)}));
  auto* pcm16 = command.add_flag("--pcm16", o->pcm16, "write 16-bit PCM");
  command.add_flag("--pcm24", o->pcm24, "write 24-bit PCM")->excludes(pcm16);
  return [o] { return runProcess(*o); };
}

}  // namespace plughost
