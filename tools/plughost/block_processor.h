// The host's audio buffers for one effect: planar input and output channels sized for the
// largest block, and one call that runs a block through the chosen process entry. All memory
// is taken up front; run() allocates nothing. plughost's commands and its validator share it; the
// validator lays the buffers out its own way (in place, guard frames past every block).
#pragma once

#include <cstdint>
#include <vector>

#include <memory>
#include <span>

#include "tools/plughost/plugin.h"
#include "tools/plughost/plugin_instance.h"

namespace plughost {

// How the buffers handed to the effect are laid out.
struct BufferLayout {
  // Each output with an input of the same number gets that input's buffer.
  bool inPlace = false;
  // Frames past maxFrames in every buffer, for a caller that watches what is written there.
  std::int32_t guardFrames = 0;
};

class BlockProcessor {
 public:
  // The most channels a side may declare; more is a broken descriptor, not a plug-in to feed.
  static constexpr std::int32_t kMaxChannels = Plugin::kMaxChannels;

  // Throws HostError when the plug-in lacks the entry for mode.
  BlockProcessor(Plugin& plugin, ProcessMode mode, std::int32_t maxFrames,
                 BufferLayout layout = {});
  // A VST 2 effect made elsewhere, seen through the one interface for as long as this lives.
  BlockProcessor(PluginInstance& effect, ProcessMode mode, std::int32_t maxFrames,
                 BufferLayout layout = {});
  ~BlockProcessor();
  BlockProcessor(const BlockProcessor&) = delete;
  BlockProcessor& operator=(const BlockProcessor&) = delete;

  // The effect's channels. Some plug-ins index channel arrays without looking at their own
  // counts, so an effect without inputs (or outputs) still gets one silent buffer on that side:
  // the buffers (inputBuffers(), outputBuffers()) are at least one each.
  int inputCount() const { return inputCount_; }
  int outputCount() const { return outputCount_; }
  int inputBuffers() const { return static_cast<int>(inputs_.size()); }
  int outputBuffers() const { return static_cast<int>(outputPointers_.size()); }
  std::int32_t maxFrames() const { return maxFrames_; }
  // maxFrames + guardFrames floats each.
  float* input(int channel) { return inputs_[static_cast<std::size_t>(channel)].data(); }
  // The buffer output `channel` is written to: an input's, where it shares one.
  float* output(int channel) { return outputPointers_[static_cast<std::size_t>(channel)]; }
  const float* output(int channel) const {
    return outputPointers_[static_cast<std::size_t>(channel)];
  }
  bool sharesInput(int channel) const {
    return output(channel) != outputs_[static_cast<std::size_t>(channel)].data();
  }

  // Copies interleaved frames of `channels` channels into the inputs: a mono source feeds every
  // input, a stereo one its two; inputs beyond the source's channels get silence.
  void loadInterleaved(const float* interleaved, int channels, std::int32_t frames);
  // Writes the first `channels` outputs as interleaved frames.
  void storeInterleaved(float* interleaved, int channels, std::int32_t frames) const;

  // Accumulating mode starts from cleared outputs, as a host that mixes into silence does.
  // `changes` take effect at their frames (in frame order).
  void run(std::int32_t frames, std::span<const ParameterChange> changes = {});
  // Leaves the outputs as the caller filled them: accumulating mode then adds onto them, as a
  // host mixing into a bus that already carries a signal.
  void runOntoOutputs(std::int32_t frames, std::span<const ParameterChange> changes = {});

 private:
  BlockProcessor(std::unique_ptr<Plugin> view, ProcessMode mode, std::int32_t maxFrames,
                 BufferLayout layout);

  std::unique_ptr<Plugin> borrowedView_;
  Plugin& plugin_;
  ProcessMode mode_;
  std::int32_t maxFrames_;
  int inputCount_;
  int outputCount_;
  std::vector<std::vector<float>> inputs_;
  std::vector<std::vector<float>> outputs_;
  std::vector<float*> inputPointers_;
  std::vector<float*> outputPointers_;
};

}  // namespace plughost
