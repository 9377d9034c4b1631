// The host's audio buffers for one effect: planar input and output channels sized for the
// largest block, and one call that runs a block through the chosen process entry. All memory
// is taken up front; run() allocates nothing.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/plughost/plugin_instance.h"

namespace plughost {

class BlockProcessor {
 public:
  // Throws HostError when the effect lacks the entry for mode.
  BlockProcessor(PluginInstance& plugin, ProcessMode mode, std::int32_t maxFrames);

  int inputCount() const { return static_cast<int>(inputs_.size()); }
  int outputCount() const { return static_cast<int>(outputs_.size()); }
  std::int32_t maxFrames() const { return maxFrames_; }
  float* input(int channel) { return inputs_[static_cast<std::size_t>(channel)].data(); }
  const float* output(int channel) const {
    return outputs_[static_cast<std::size_t>(channel)].data();
  }

  // Copies interleaved frames of `channels` channels into the inputs: a mono source feeds every
  // input, a stereo one its two; inputs beyond the source's channels get silence.
  void loadInterleaved(const float* interleaved, int channels, std::int32_t frames);
  // Writes the first `channels` outputs as interleaved frames.
  void storeInterleaved(float* interleaved, int channels, std::int32_t frames) const;

  // Accumulating mode starts from cleared outputs, as a host that mixes into silence does.
  void run(std::int32_t frames);

 private:
  PluginInstance& plugin_;
  ProcessMode mode_;
  std::int32_t maxFrames_;
  std::vector<std::vector<float>> inputs_;
  std::vector<std::vector<float>> outputs_;
  std::vector<float> spare_;
  std::vector<float*> inputPointers_;
  std::vector<float*> outputPointers_;
};

}  // namespace plughost
