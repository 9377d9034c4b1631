#include "tools/plughost/block_processor.h"

#include <algorithm>
#include <string>

#include "tools/plughost/host_error.h"

namespace plughost {

BlockProcessor::BlockProcessor(PluginInstance& plugin, ProcessMode mode, std::int32_t maxFrames)
    : plugin_(plugin), mode_(mode), maxFrames_(maxFrames) {
  if (!plugin.supports(mode)) {
    throw HostError(mode == ProcessMode::replacing
                        ? "the plug-in does not process in replacing mode "
                          "(no effFlagsCanReplacing); try --mode accumulating"
                        : "the plug-in has no accumulating process entry; try --mode replacing");
  }
  const AEffect& e = plugin.effect();
  // A descriptor claiming thousands of channels is broken; do not allocate for it.
  constexpr std::int32_t kMaxChannels = 64;
  if (e.numInputs < 0 || e.numInputs > kMaxChannels || e.numOutputs < 0 ||
      e.numOutputs > kMaxChannels) {
    throw HostError("the plug-in declares " + std::to_string(e.numInputs) + " inputs and " +
                    std::to_string(e.numOutputs) + " outputs; at most " +
                    std::to_string(kMaxChannels) + " are supported");
  }
  const auto frames = static_cast<std::size_t>(maxFrames);
  inputs_.assign(static_cast<std::size_t>(e.numInputs), std::vector<float>(frames, 0.0f));
  outputs_.assign(static_cast<std::size_t>(e.numOutputs), std::vector<float>(frames, 0.0f));
  for (auto& channel : inputs_) {
    inputPointers_.push_back(channel.data());
  }
  for (auto& channel : outputs_) {
    outputPointers_.push_back(channel.data());
  }
  // Some plug-ins index channel arrays without looking at their own counts: an effect without
  // inputs (or outputs) still gets one silent buffer to read (or scribble on).
  spare_.assign(frames, 0.0f);
  if (inputPointers_.empty()) {
    inputPointers_.push_back(spare_.data());
  }
  if (outputPointers_.empty()) {
    outputPointers_.push_back(spare_.data());
  }
}

void BlockProcessor::loadInterleaved(const float* interleaved, int channels, std::int32_t frames) {
  for (int c = 0; c < inputCount(); ++c) {
    float* in = input(c);
    if (channels == 1 || c < channels) {
      const int source = channels == 1 ? 0 : c;
      for (std::int32_t i = 0; i < frames; ++i) {
        in[i] = interleaved[static_cast<std::size_t>(i) * static_cast<std::size_t>(channels) +
                            static_cast<std::size_t>(source)];
      }
    } else {
      std::fill(in, in + frames, 0.0f);
    }
  }
}

void BlockProcessor::storeInterleaved(float* interleaved, int channels, std::int32_t frames) const {
  for (int c = 0; c < channels; ++c) {
    const float* out = output(c);
    for (std::int32_t i = 0; i < frames; ++i) {
      interleaved[static_cast<std::size_t>(i) * static_cast<std::size_t>(channels) +
                  static_cast<std::size_t>(c)] = out[i];
    }
  }
}

void BlockProcessor::run(std::int32_t frames) {
  if (mode_ == ProcessMode::accumulating) {
    for (auto& channel : outputs_) {
      std::fill(channel.begin(), channel.begin() + frames, 0.0f);
    }
  }
  plugin_.process(mode_, inputPointers_.data(), outputPointers_.data(), frames);
}

}  // namespace plughost
