// What the checks share: the validator's host callbacks, an effect handle with the host's side of
// the life cycle, audio buffers that notice writes past a block, test signals, bit-exact
// comparison, and text buffers with guard bytes.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/aeffect.h"
#include "tools/plughost/plugin_library.h"

namespace plughost::validate {

// ---- Host callbacks ---------------------------------------------------------------------------

// A plain VST 2.4 host: version 2400, the sample rate and block size last announced, vendor and
// product texts, 0 for everything else. It allocates nothing and takes no lock, so it may be
// called from process calls that the real-time check watches.
VstIntPtr standardHost(AEffect* effect, std::int32_t opcode, std::int32_t index, VstIntPtr value,
                       void* ptr, float opt);
// Answers 0 to every request, the version included.
VstIntPtr silentHost(AEffect* effect, std::int32_t opcode, std::int32_t index, VstIntPtr value,
                     void* ptr, float opt);
// Answers the version request with 0 and everything else as standardHost does.
VstIntPtr versionZeroHost(AEffect* effect, std::int32_t opcode, std::int32_t index, VstIntPtr value,
                          void* ptr, float opt);

// Automation reports received by standardHost since the start of the process.
long automationReports();

// ---- Effects ----------------------------------------------------------------------------------

enum class Mode { replacing, accumulating };

const char* modeName(Mode mode);

// The text of a dispatcher opcode for messages: "7 (effGetParamDisplay)".
std::string opcodeText(std::int32_t opcode);

// One effect from `main`, with the host's side of its life. The destructor switches it off if it
// is on and closes it, unless the check closed it already.
class Effect {
 public:
  // Throws Failure when the entry point returns null or a descriptor without the "VstP" magic.
  explicit Effect(const PluginLibrary& library, HostCallback host = standardHost);
  Effect(PluginEntry entry, const std::string& entryName, HostCallback host = standardHost);
  ~Effect();
  Effect(const Effect&) = delete;
  Effect& operator=(const Effect&) = delete;

  AEffect* get() const { return effect_; }
  AEffect* operator->() const { return effect_; }
  bool alive() const { return effect_ != nullptr; }

  VstIntPtr dispatch(std::int32_t opcode, std::int32_t index = 0, VstIntPtr value = 0,
                     void* ptr = nullptr, float opt = 0.0f);

  // effOpen, effSetSampleRate, effSetBlockSize and effMainsChanged(1): the order hosts use.
  void start(double sampleRate = 44100.0, std::int32_t blockSize = 512);
  void setSampleRate(double rate);
  void setBlockSize(std::int32_t frames);
  void setActive(bool on);
  bool active() const { return active_; }
  // effClose now (switching off first only when asked); the handle is dead afterwards.
  void close(bool switchOffFirst = true);

  float parameter(std::int32_t index) const { return effect_->getParameter(effect_, index); }
  void setParameter(std::int32_t index, float value) {
    effect_->setParameter(effect_, index, value);
  }
  std::int32_t program() { return static_cast<std::int32_t>(dispatch(effGetProgram)); }
  void setProgram(std::int32_t program) { dispatch(effSetProgram, 0, program); }

  bool canProcess(Mode mode) const;
  // Replacing when the effect offers it, accumulating otherwise.
  Mode preferredMode() const;
  void process(Mode mode, float** inputs, float** outputs, std::int32_t frames);

  std::int32_t inputs() const { return effect_->numInputs; }
  std::int32_t outputs() const { return effect_->numOutputs; }

 private:
  AEffect* effect_ = nullptr;
  bool active_ = false;
};

// ---- Audio ------------------------------------------------------------------------------------

// Planar audio: one vector per channel, all of one length.
using Channels = std::vector<std::vector<float>>;

Channels silence(int channels, std::int32_t frames);
std::int32_t frameCount(const Channels& audio);

enum class Signal {
  silence,
  dc,         // +0.5 on even channels, -0.5 on odd ones
  noise,      // full-scale white noise
  sweep,      // logarithmic sine sweep from 20 Hz to 0.45 x the sample rate, 0.9 peak
  denormals,  // white noise of float subnormals (magnitudes 1e-45 .. 1e-38)
  music,      // something like program material: decaying noise bursts over a low sine
};

const char* signalName(Signal signal);

Channels makeSignal(Signal signal, int channels, std::int32_t frames, double sampleRate,
                    std::uint64_t seed);

// How a render hands buffers to the effect.
struct ProcessStyle {
  Mode mode = Mode::replacing;
  // Each output channel with an input of the same number gets that input's buffer.
  bool inPlace = false;
};

// Blocks of these sizes, repeated in order until the input is used up (the last may be shorter).
// A size of 0 makes a call with no frames, which must change nothing.
Channels render(Effect& effect, const Channels& input, const std::vector<std::int32_t>& blocks,
                ProcessStyle style);

// The block loop of render, for checks that do something between blocks (parameter changes,
// sample rate changes, timing).
class BlockRunner {
 public:
  BlockRunner(Effect& effect, std::int32_t maxFrames, ProcessStyle style);
  // Processes input[.][offset, offset+frames) into output[.][offset, ...). Throws Failure on
  // writes past the block or into a separate input.
  void run(const Channels& input, Channels& output, std::int32_t offset, std::int32_t frames);

 private:
  Effect& effect_;
  std::int32_t maxFrames_;
  ProcessStyle style_;
  std::vector<std::vector<float>> inputs_;
  std::vector<std::vector<float>> outputs_;
  std::vector<float*> inputPointers_;
  std::vector<float*> outputPointers_;
};

// "channel 1 frame 377: 0.25 vs 0.2500001" for the first sample whose bits differ, if any.
std::optional<std::string> firstDifference(const Channels& a, const Channels& b);
// The first NaN or infinity at or after `fromFrame`, if any.
std::optional<std::string> firstNonFinite(const Channels& audio, std::int32_t fromFrame = 0);

std::string floatText(double value);

// ---- Guarded text buffers ---------------------------------------------------------------------

// A 4 KiB region handed to the plug-in, with guard bytes in front of it and, past the bytes an
// opcode may write, in its tail. The writable bytes start zeroed.
class GuardedBuffer {
 public:
  static constexpr std::size_t kSize = 4096;
  static constexpr std::size_t kFront = 64;
  static constexpr unsigned char kGuard = 0xA5;

  // `writable` bytes from the start are zero, the rest of the 4 KiB and the front hold guards.
  // kSize makes the whole region zero and writable.
  explicit GuardedBuffer(std::size_t writable = kSize);
  void reset(std::size_t writable);

  char* data() { return reinterpret_cast<char*>(storage_.data() + kFront); }
  const char* data() const { return reinterpret_cast<const char*>(storage_.data() + kFront); }

  // Bytes changed outside the writable range, described; nullopt when none.
  std::optional<std::string> damage() const;
  // True when any byte of the region differs from how reset left it.
  bool touched() const;
  // The zero-terminated text in the writable range (or up to the first guard byte).
  std::string text() const;
  // The writable range holds a terminating zero.
  bool terminated() const;

 private:
  std::vector<unsigned char> storage_;
  std::size_t writable_ = kSize;
};

// Printable form of a text a plug-in wrote: control and non-ASCII bytes as \xNN.
std::string printable(const std::string& text);

}  // namespace plughost::validate
