// plughost process PLUGIN IN.wav OUT.wav: streams a file through an effect block by block.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "tools/plughost/block_processor.h"
#include "tools/plughost/commands.h"
#ifndef _WIN32
#include "tools/plughost/cmd_lv2.h"
#include "tools/plughost/lv2_host.h"
#endif
#include "tools/plughost/host_error.h"
#include "tools/plughost/output_file.h"
#include "tools/plughost/parameter_assignment.h"
#include "tools/plughost/plugin_instance.h"
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

int runProcess(const ProcessOptions& o) {
#ifndef _WIN32
  if (isLv2Reference(o.plugin)) {
    // LV2 has neither programs nor an accumulating entry.
    if (o.program) {
      throw HostError("--program: an LV2 plug-in has no programs");
    }
    if (processModeFromName(o.mode) != ProcessMode::replacing) {
      throw HostError("--mode accumulating: an LV2 plug-in only replaces its outputs");
    }
    return runLv2Process(
        {o.plugin, o.input, o.output, o.parameters, o.block, o.rate, o.pcm16, o.pcm24});
  }
#endif
  std::vector<ParameterAssignment> assignments;
  for (const auto& text : o.parameters) {
    assignments.push_back(parseParameterAssignment(text));
  }
  // The option's check admits only the two names.
  const ProcessMode mode = processModeFromName(o.mode).value_or(ProcessMode::replacing);

  wav::WavReader reader(o.input);
  const wav::StreamFormat& in = reader.format();
  const std::uint32_t rate = o.rate.value_or(in.sampleRate);

  PluginLibrary library(o.plugin);
  HostCallbackRecorder host;
  PluginInstance plugin(library, host);
  const AEffect& effect = plugin.effect();
  checkParameterIndices(assignments, effect.numParams);
  if (o.program && *o.program >= effect.numPrograms) {
    throw HostError("bad --program " + std::to_string(*o.program) + ": the plug-in has " +
                    std::to_string(effect.numPrograms) + " programs");
  }
  if (effect.numOutputs < 1) {
    throw HostError("the plug-in has no outputs");
  }
  if (in.channels > 1 && effect.numInputs < in.channels) {
    throw HostError(quoted(o.input) + " has " + std::to_string(in.channels) +
                    " channels but the plug-in takes " + std::to_string(effect.numInputs) +
                    " inputs");
  }

  plugin.open();
  plugin.setSampleRate(static_cast<float>(rate));
  plugin.setBlockSize(o.block);
  if (o.program) {
    plugin.setProgram(*o.program);
  }
  for (const auto& a : assignments) {
    plugin.setParameter(a.index, a.value);
  }
  BlockProcessor processor(plugin, mode, o.block);

  wav::StreamFormat outFormat;
  outFormat.encoding = o.pcm16   ? wav::SampleEncoding::pcm16
                       : o.pcm24 ? wav::SampleEncoding::pcm24
                                 : wav::SampleEncoding::float32;
  outFormat.channels = effect.numOutputs >= 2 ? 2 : 1;
  outFormat.sampleRate = rate;
  if (effect.numOutputs > 2) {
    std::fprintf(stderr, "plughost: note: the plug-in has %d outputs; writing the first two\n",
                 effect.numOutputs);
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
  plugin.setActive(true);
  while (std::size_t frames = reader.read(inBlock.data(), block)) {
    const auto n = static_cast<std::int32_t>(frames);
    processor.loadInterleaved(inBlock.data(), in.channels, n);
    processor.run(n);
    processor.storeInterleaved(outBlock.data(), outFormat.channels, n);
    for (std::size_t i = 0; i < frames * static_cast<std::size_t>(outFormat.channels); ++i) {
      nonFinite += std::isfinite(outBlock[i]) ? 0 : 1;
    }
    writer.write(outBlock.data(), frames);
    done += frames;
    progress.update(done);
  }
  plugin.setActive(false);
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
                  "the plug-in library (.dll or .so), or an LV2 plug-in URI or bundle folder")
      ->required();
  command.add_option("IN.wav", o->input, "input: PCM 16/24/32-bit or 32-bit float, mono or stereo")
      ->required();
  command.add_option("OUT.wav", o->output, "output, 32-bit float unless --pcm16/--pcm24")
      ->required();
  command
      .add_option("--param", o->parameters,
                  "set parameter INDEX (or LV2 port SYMBOL) to VALUE (0..1) before the run")
      ->type_name("I=V")
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
