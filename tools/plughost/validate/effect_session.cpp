#include "tools/plughost/validate/effect_session.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>

#include "tools/plughost/host_callback.h"
#include "tools/plughost/validate/check.h"
#include "tools/plughost/validate/realtime_probe.h"

namespace plughost::validate {
namespace {

std::atomic<float> announcedRate{44100.0f};
std::atomic<std::int32_t> announcedBlockSize{512};
std::atomic<long> automationCount{0};

void copyHostText(void* ptr, const char* text) {
  // Vendor and product buffers hold 64 bytes.
  if (ptr != nullptr) {
    std::snprintf(static_cast<char*>(ptr), 64, "%s", text);
  }
}

// The published names of the 2.4 dispatcher opcodes, for messages.
constexpr const char* kOpcodeNames[] = {
    "effOpen",
    "effClose",
    "effSetProgram",
    "effGetProgram",
    "effSetProgramName",
    "effGetProgramName",
    "effGetParamLabel",
    "effGetParamDisplay",
    "effGetParamName",
    "effGetVu",
    "effSetSampleRate",
    "effSetBlockSize",
    "effMainsChanged",
    "effEditGetRect",
    "effEditOpen",
    "effEditClose",
    "effEditDraw",
    "effEditMouse",
    "effEditKey",
    "effEditIdle",
    "effEditTop",
    "effEditSleep",
    "effIdentify",
    "effGetChunk",
    "effSetChunk",
    "effProcessEvents",
    "effCanBeAutomated",
    "effString2Parameter",
    "effGetNumProgramCategories",
    "effGetProgramNameIndexed",
    "effCopyProgram",
    "effConnectInput",
    "effConnectOutput",
    "effGetInputProperties",
    "effGetOutputProperties",
    "effGetPlugCategory",
    "effGetCurrentPosition",
    "effGetDestinationBuffer",
    "effOfflineNotify",
    "effOfflinePrepare",
    "effOfflineRun",
    "effProcessVarIo",
    "effSetSpeakerArrangement",
    "effSetBlockSizeAndSampleRate",
    "effSetBypass",
    "effGetEffectName",
    "effGetErrorText",
    "effGetVendorString",
    "effGetProductString",
    "effGetVendorVersion",
    "effVendorSpecific",
    "effCanDo",
    "effGetTailSize",
    "effIdle",
    "effGetIcon",
    "effSetViewPosition",
    "effGetParameterProperties",
    "effKeysRequired",
    "effGetVstVersion",
    "effEditKeyDown",
    "effEditKeyUp",
    "effSetEditKnobMode",
    "effGetMidiProgramName",
    "effGetCurrentMidiProgram",
    "effGetMidiProgramCategory",
    "effHasMidiProgramsChanged",
    "effGetMidiKeyName",
    "effBeginSetProgram",
    "effEndSetProgram",
    "effGetSpeakerArrangement",
    "effShellGetNextPlugin",
    "effStartProcess",
    "effStopProcess",
    "effSetTotalSampleToProcess",
    "effSetPanLaw",
    "effBeginLoadBank",
    "effBeginLoadProgram",
    "effSetProcessPrecision",
    "effGetNumMidiInputChannels",
    "effGetNumMidiOutputChannels",
};

// Written past every block in every buffer; a plug-in that changes it wrote past the frames it
// was given.
constexpr std::int32_t kTail = 16;
constexpr float kTailGuard = 12345.5f;

std::uint32_t bitsOf(float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

}  // namespace

VstIntPtr standardHost(AEffect* /*effect*/, std::int32_t opcode, std::int32_t /*index*/,
                       VstIntPtr /*value*/, void* ptr, float /*opt*/) {
  // The host's own work is not the plug-in's: a real-time check must not count it.
  probe::Pause pause;
  switch (opcode) {
    case audioMasterAutomate:
      automationCount.fetch_add(1, std::memory_order_relaxed);
      return 0;
    case audioMasterVersion:
      return HostCallbackRecorder::kHostVersion;
    case audioMasterPinConnected:
      return 0;
    case audioMasterGetSampleRate:
      return static_cast<VstIntPtr>(announcedRate.load(std::memory_order_relaxed));
    case audioMasterGetBlockSize:
      return announcedBlockSize.load(std::memory_order_relaxed);
    case audioMasterGetVendorString:
      copyHostText(ptr, "DriveEffect project");
      return 1;
    case audioMasterGetProductString:
      copyHostText(ptr, "plughost validate");
      return 1;
    case audioMasterGetVendorVersion:
      return 1000;
    case audioMasterGetLanguage:
      return 1;
    default:
      return 0;
  }
}

VstIntPtr silentHost(AEffect*, std::int32_t, std::int32_t, VstIntPtr, void*, float) {
  return 0;
}

VstIntPtr versionZeroHost(AEffect* effect, std::int32_t opcode, std::int32_t index, VstIntPtr value,
                          void* ptr, float opt) {
  if (opcode == audioMasterVersion) {
    return 0;
  }
  return standardHost(effect, opcode, index, value, ptr, opt);
}

long automationReports() {
  return automationCount.load(std::memory_order_relaxed);
}

const char* modeName(Mode mode) {
  return mode == Mode::replacing ? "replacing" : "accumulating";
}

std::string opcodeText(std::int32_t opcode) {
  std::string text = std::to_string(opcode);
  if (opcode >= 0 && opcode < static_cast<std::int32_t>(std::size(kOpcodeNames))) {
    text += std::string(" (") + kOpcodeNames[opcode] + ")";
  }
  return text;
}

// ---- Effect -----------------------------------------------------------------------------------

Effect::Effect(const PluginLibrary& library, HostCallback host)
    : Effect(library.entry(), library.entryName(), host) {}

Effect::Effect(PluginEntry entry, const std::string& entryName, HostCallback host) {
  AEffect* effect = entry(host);
  require(effect != nullptr, "the entry point '" + entryName + "' returned null");
  require(effect->magic == kEffectMagic,
          "the descriptor's magic is " + std::to_string(effect->magic) + ", not 'VstP'");
  require(effect->dispatcher != nullptr, "the descriptor has no dispatcher");
  effect_ = effect;
}

Effect::~Effect() {
  if (effect_ != nullptr) {
    close();
  }
}

VstIntPtr Effect::dispatch(std::int32_t opcode, std::int32_t index, VstIntPtr value, void* ptr,
                           float opt) {
  return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

void Effect::start(double sampleRate, std::int32_t blockSize) {
  dispatch(effOpen);
  setSampleRate(sampleRate);
  setBlockSize(blockSize);
  setActive(true);
}

void Effect::setSampleRate(double rate) {
  announcedRate.store(static_cast<float>(rate), std::memory_order_relaxed);
  dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
}

void Effect::setBlockSize(std::int32_t frames) {
  announcedBlockSize.store(frames, std::memory_order_relaxed);
  dispatch(effSetBlockSize, 0, frames);
}

void Effect::setActive(bool on) {
  dispatch(effMainsChanged, 0, on ? 1 : 0);
  active_ = on;
}

void Effect::close(bool switchOffFirst) {
  if (effect_ == nullptr) {
    return;
  }
  if (active_ && switchOffFirst) {
    setActive(false);
  }
  AEffect* effect = effect_;
  effect_ = nullptr;
  effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
}

bool Effect::canProcess(Mode mode) const {
  if (mode == Mode::replacing) {
    return (effect_->flags & effFlagsCanReplacing) != 0 && effect_->processReplacing != nullptr;
  }
  return effect_->process != nullptr;
}

Mode Effect::preferredMode() const {
  return canProcess(Mode::replacing) ? Mode::replacing : Mode::accumulating;
}

void Effect::process(Mode mode, float** inputs, float** outputs, std::int32_t frames) {
  if (mode == Mode::replacing) {
    effect_->processReplacing(effect_, inputs, outputs, frames);
  } else {
    effect_->process(effect_, inputs, outputs, frames);
  }
}

// ---- Audio ------------------------------------------------------------------------------------

Channels silence(int channels, std::int32_t frames) {
  return Channels(static_cast<std::size_t>(std::max(channels, 1)),
                  std::vector<float>(static_cast<std::size_t>(frames), 0.0f));
}

std::int32_t frameCount(const Channels& audio) {
  return audio.empty() ? 0 : static_cast<std::int32_t>(audio[0].size());
}

const char* signalName(Signal signal) {
  switch (signal) {
    case Signal::silence:
      return "silence";
    case Signal::dc:
      return "DC";
    case Signal::noise:
      return "full-scale noise";
    case Signal::sweep:
      return "sine sweep";
    case Signal::denormals:
      return "denormal-range noise";
    case Signal::music:
      return "program-like material";
  }
  return "?";
}

Channels makeSignal(Signal signal, int channels, std::int32_t frames, double sampleRate,
                    std::uint64_t seed) {
  Channels audio = silence(channels, frames);
  for (std::size_t c = 0; c < audio.size(); ++c) {
    Rng rng(seed * 31 + c);
    std::vector<float>& out = audio[c];
    double phase = 0.0;
    const double top = std::max(40.0, 0.45 * sampleRate);
    for (std::int32_t i = 0; i < frames; ++i) {
      float& s = out[static_cast<std::size_t>(i)];
      switch (signal) {
        case Signal::silence:
          s = 0.0f;
          break;
        case Signal::dc:
          s = c % 2 == 0 ? 0.5f : -0.5f;
          break;
        case Signal::noise:
          s = rng.uniformFloat(-1.0f, 1.0f);
          break;
        case Signal::sweep: {
          const double t = static_cast<double>(i) / std::max(frames - 1, 1);
          const double frequency = 20.0 * std::pow(top / 20.0, t);
          phase += 2.0 * std::numbers::pi * frequency / sampleRate;
          s = static_cast<float>(0.9 * std::sin(phase + static_cast<double>(c)));
          break;
        }
        case Signal::denormals: {
          // Every bit pattern with a zero exponent and a nonzero fraction is a subnormal.
          std::uint32_t bits = static_cast<std::uint32_t>(rng.range(1, 0x007fffff));
          if (rng.chance(0.5)) {
            bits |= 0x80000000u;
          }
          std::memcpy(&s, &bits, sizeof s);
          break;
        }
        case Signal::music: {
          const double seconds = static_cast<double>(i) / sampleRate;
          const double burst = std::fmod(seconds, 0.25);
          const double envelope = std::exp(-burst * 18.0);
          s = static_cast<float>(0.3 * std::sin(2.0 * std::numbers::pi * 110.0 * seconds) +
                                 0.6 * envelope * rng.uniformFloat(-1.0f, 1.0f));
          break;
        }
      }
    }
  }
  return audio;
}

BlockRunner::BlockRunner(Effect& effect, std::int32_t maxFrames, ProcessStyle style)
    : effect_(effect), maxFrames_(maxFrames), style_(style) {
  require(effect.canProcess(style.mode),
          std::string("the effect has no ") + modeName(style.mode) + " process entry");
  require(effect.inputs() >= 0 && effect.inputs() <= 256 && effect.outputs() >= 0 &&
              effect.outputs() <= 256,
          "implausible channel counts " + std::to_string(effect.inputs()) + " in, " +
              std::to_string(effect.outputs()) + " out");
  const auto size = static_cast<std::size_t>(maxFrames + kTail);
  inputs_.assign(static_cast<std::size_t>(std::max(effect.inputs(), 1)),
                 std::vector<float>(size, 0.0f));
  outputs_.assign(static_cast<std::size_t>(std::max(effect.outputs(), 1)),
                  std::vector<float>(size, 0.0f));
  for (auto& channel : inputs_) {
    inputPointers_.push_back(channel.data());
  }
  for (std::size_t c = 0; c < outputs_.size(); ++c) {
    const bool shared =
        style.inPlace && c < inputs_.size() && static_cast<std::int32_t>(c) < effect.inputs();
    outputPointers_.push_back(shared ? inputs_[c].data() : outputs_[c].data());
  }
}

void BlockRunner::run(const Channels& input, Channels& output, std::int32_t offset,
                      std::int32_t frames) {
  // Nothing here allocates unless a check fails: the real-time check counts around this call.
  requireThat(frames <= maxFrames_,
              [] { return "internal: block larger than the runner's buffers"; });
  const auto start = static_cast<std::size_t>(offset);
  const auto n = static_cast<std::size_t>(frames);
  for (std::size_t c = 0; c < inputs_.size(); ++c) {
    std::vector<float>& buffer = inputs_[c];
    if (c < input.size()) {
      std::copy_n(input[c].begin() + static_cast<std::ptrdiff_t>(start), n, buffer.begin());
    } else {
      std::fill_n(buffer.begin(), n, 0.0f);
    }
    std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(n), buffer.end(), kTailGuard);
  }
  for (std::size_t c = 0; c < outputs_.size(); ++c) {
    float* out = outputPointers_[c];
    if (out != outputs_[c].data()) {
      continue;  // in place: the input's buffer holds the input
    }
    std::fill_n(out, n, 0.0f);
    std::fill(outputs_[c].begin() + static_cast<std::ptrdiff_t>(n), outputs_[c].end(), kTailGuard);
  }

  effect_.process(style_.mode, inputPointers_.data(), outputPointers_.data(), frames);

  for (std::size_t c = 0; c < inputs_.size(); ++c) {
    for (std::size_t i = n; i < n + kTail; ++i) {
      requireThat(bitsOf(inputs_[c][i]) == bitsOf(kTailGuard), [&] {
        return "a " + std::to_string(frames) + "-frame " + modeName(style_.mode) +
               " call wrote past the block's end in buffer " + std::to_string(c);
      });
    }
    const bool shared = style_.inPlace && static_cast<std::int32_t>(c) < effect_.outputs();
    if (!shared && c < input.size() && static_cast<std::int32_t>(c) < effect_.inputs()) {
      for (std::size_t i = 0; i < n; ++i) {
        requireThat(bitsOf(inputs_[c][i]) == bitsOf(input[c][start + i]), [&] {
          return std::string("a ") + modeName(style_.mode) + " call changed input channel " +
                 std::to_string(c) + " at frame " +
                 std::to_string(offset + static_cast<std::int32_t>(i));
        });
      }
    }
  }
  for (std::size_t c = 0; c < outputs_.size(); ++c) {
    if (outputPointers_[c] == outputs_[c].data()) {
      for (std::size_t i = n; i < n + kTail; ++i) {
        requireThat(bitsOf(outputs_[c][i]) == bitsOf(kTailGuard), [&] {
          return "a " + std::to_string(frames) + "-frame " + modeName(style_.mode) +
                 " call wrote past the block's end in output " + std::to_string(c);
        });
      }
    }
    if (c < output.size()) {
      std::copy_n(outputPointers_[c], n, output[c].begin() + static_cast<std::ptrdiff_t>(start));
    }
  }
}

Channels render(Effect& effect, const Channels& input, const std::vector<std::int32_t>& blocks,
                ProcessStyle style) {
  const std::int32_t total = frameCount(input);
  const std::int32_t largest = blocks.empty() ? 1 : *std::max_element(blocks.begin(), blocks.end());
  BlockRunner runner(effect, std::max(largest, 1), style);
  Channels output = silence(effect.outputs(), total);
  require(std::any_of(blocks.begin(), blocks.end(), [](std::int32_t n) { return n > 0; }),
          "internal: a block schedule without frames");
  std::int32_t position = 0;
  std::size_t next = 0;
  while (position < total) {
    const std::int32_t frames = std::min(blocks[next], total - position);
    next = (next + 1) % blocks.size();
    runner.run(input, output, position, frames);
    position += frames;
  }
  return output;
}

std::string floatText(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", value);
  return text;
}

std::optional<std::string> firstDifference(const Channels& a, const Channels& b) {
  if (a.size() != b.size()) {
    return std::to_string(a.size()) + " channels vs " + std::to_string(b.size());
  }
  for (std::size_t c = 0; c < a.size(); ++c) {
    if (a[c].size() != b[c].size()) {
      return "channel " + std::to_string(c) + " lengths differ";
    }
    for (std::size_t i = 0; i < a[c].size(); ++i) {
      if (bitsOf(a[c][i]) != bitsOf(b[c][i])) {
        return "output channel " + std::to_string(c) + " frame " + std::to_string(i) + ": " +
               floatText(a[c][i]) + " vs " + floatText(b[c][i]);
      }
    }
  }
  return std::nullopt;
}

std::optional<std::string> firstNonFinite(const Channels& audio, std::int32_t fromFrame) {
  for (std::size_t c = 0; c < audio.size(); ++c) {
    for (std::size_t i = static_cast<std::size_t>(std::max(fromFrame, 0)); i < audio[c].size();
         ++i) {
      if (!std::isfinite(audio[c][i])) {
        return "output channel " + std::to_string(c) + " frame " + std::to_string(i) + " is " +
               floatText(audio[c][i]);
      }
    }
  }
  return std::nullopt;
}

// ---- Guarded buffers --------------------------------------------------------------------------

GuardedBuffer::GuardedBuffer(std::size_t writable) : storage_(kFront + kSize) {
  reset(writable);
}

void GuardedBuffer::reset(std::size_t writable) {
  writable_ = std::min(writable, kSize);
  std::fill(storage_.begin(), storage_.end(), kGuard);
  std::fill_n(storage_.begin() + kFront, writable_, 0);
}

std::optional<std::string> GuardedBuffer::damage() const {
  for (std::size_t i = 0; i < kFront; ++i) {
    if (storage_[i] != kGuard) {
      return "wrote " + std::to_string(kFront - i) + " bytes before the buffer's start";
    }
  }
  std::size_t last = 0;
  std::size_t first = 0;
  for (std::size_t i = kFront + writable_; i < storage_.size(); ++i) {
    if (storage_[i] != kGuard) {
      if (first == 0) {
        first = i;
      }
      last = i;
    }
  }
  if (first == 0) {
    return std::nullopt;
  }
  return "wrote " + std::to_string(last - kFront + 1) + " bytes where the interface allows " +
         std::to_string(writable_) + " (text '" + printable(text()) + "')";
}

bool GuardedBuffer::touched() const {
  for (std::size_t i = 0; i < storage_.size(); ++i) {
    const bool writable = i >= kFront && i < kFront + writable_;
    if (storage_[i] != (writable ? 0 : kGuard)) {
      return true;
    }
  }
  return false;
}

std::string GuardedBuffer::text() const {
  const char* start = data();
  std::size_t length = 0;
  while (length < kSize && start[length] != '\0') {
    ++length;
  }
  return std::string(start, length);
}

bool GuardedBuffer::terminated() const {
  return std::memchr(data(), 0, writable_) != nullptr;
}

std::string printable(const std::string& text) {
  std::string out;
  for (unsigned char c : text.substr(0, 80)) {
    if (c >= 0x20 && c < 0x7f) {
      out += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      out += escaped;
    }
  }
  if (text.size() > 80) {
    out += "...";
  }
  return out;
}

}  // namespace plughost::validate
