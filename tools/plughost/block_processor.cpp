#include "tools/plughost/block_processor.h"

#include <algorithm>
#include <string>

#include "tools/plughost/host_error.h"
#include "tools/plughost/vst2_plugin.h"

namespace plughost {

BlockProcessor::BlockProcessor(PluginInstance& effect, ProcessMode mode, std::int32_t maxFrames,
                               BufferLayout layout)
    : BlockProcessor(std::make_unique<Vst2Plugin>(effect), mode, maxFrames, layout) {}

BlockProcessor::BlockProcessor(std::unique_ptr<Plugin> view, ProcessMode mode,
                               std::int32_t maxFrames, BufferLayout layout)
    : BlockProcessor(*view, mode, maxFrames, layout) {
  borrowedView_ = std::move(view);
}

BlockProcessor::~BlockProcessor() = default;

BlockProcessor::BlockProcessor(Plugin& plugin, ProcessMode mode, std::int32_t maxFrames,
                               BufferLayout layout)
    : plugin_(plugin),
      mode_(mode),
      maxFrames_(maxFrames),
      inputCount_(plugin.inputCount()),
      outputCount_(plugin.outputCount()) {
  if (!plugin.supports(mode)) {
    throw HostError(mode == ProcessMode::replacing
                        ? "the plug-in does not process in replacing mode "
                          "(no effFlagsCanReplacing); try --mode accumulating"
                        : "the plug-in has no accumulating process entry; try --mode replacing");
  }
  if (inputCount_ < 0 || inputCount_ > kMaxChannels || outputCount_ < 0 ||
      outputCount_ > kMaxChannels) {
    throw HostError("the plug-in declares " + std::to_string(inputCount_) + " inputs and " +
                    std::to_string(outputCount_) + " outputs; at most " +
                    std::to_string(kMaxChannels) + " are supported");
  }
  const auto frames =
      static_cast<std::size_t>(maxFrames) + static_cast<std::size_t>(layout.guardFrames);
  inputs_.assign(static_cast<std::size_t>(std::max(inputCount_, 1)),
                 std::vector<float>(frames, 0.0f));
  outputs_.assign(static_cast<std::size_t>(std::max(outputCount_, 1)),
                  std::vector<float>(frames, 0.0f));
  for (auto& channel : inputs_) {
    inputPointers_.push_back(channel.data());
  }
  for (std::size_t c = 0; c < outputs_.size(); ++c) {
    const bool shared = layout.inPlace && static_cast<int>(c) < inputCount_;
    outputPointers_.push_back(shared ? inputs_[c].data() : outputs_[c].data());
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

void BlockProcessor::run(std::int32_t frames, std::span<const ParameterChange> changes) {
  if (mode_ == ProcessMode::accumulating) {
    for (int c = 0; c < outputBuffers(); ++c) {
      if (!sharesInput(c)) {
        std::fill_n(output(c), frames, 0.0f);
      }
    }
  }
  runOntoOutputs(frames, changes);
}

void BlockProcessor::runOntoOutputs(std::int32_t frames, std::span<const ParameterChange> changes) {
  plugin_.process(mode_, inputPointers_.data(), outputPointers_.data(), frames, changes);
}

}  // namespace plughost
