// Renders one long, varied scenario through a plug-in and writes the raw output, so that the
// builds for different platforms can be compared byte for byte. Everything that drives the
// plug-in (signal, block sizes, entry, parameter and program changes) comes from integer
// arithmetic alone: no libm call, no platform-dependent rounding, the same bits on every build.
//
//   render_scenario PLUGIN OUT.f32 [--every-format]
//       writes interleaved stereo float32 and prints a summary line. PLUGIN is any plug-in
//       plughost opens. The full scenario uses what only VST 2 has (the accumulating entry,
//       values beyond 0..1); --every-format keeps to what every format takes and moves the
//       automation inside the blocks, at chosen frames: VST 3 gets it sample-accurately, VST 2
//       and LV2 blocks split there, and all must give the same bytes.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <fstream>
#include <string>
#include <vector>

#include <memory>
#include <span>
#include "tools/plughost/host_error.h"

#include "tools/plughost/plugin.h"

namespace {

using plughost::ParameterChange;
using plughost::Plugin;
using plughost::ProcessMode;

constexpr std::int32_t kMaxBlock = 4096;
constexpr std::int64_t kTotalFrames = 441000;  // ten seconds at 44.1 kHz

// xorshift64*: a fixed, portable stream of pseudo-random integers.
class Random {
 public:
  std::uint64_t next() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return state_ * 0x2545F4914F6CDD1DULL;
  }
  std::uint32_t below(std::uint32_t limit) { return static_cast<std::uint32_t>(next() % limit); }
  // A multiple of 2^-24 in [0, 1): exact as a float on every build.
  float unit() { return static_cast<float>(next() >> 40) * (1.0f / 16777216.0f); }

 private:
  std::uint64_t state_ = 0x9E3779B97F4A7C15ULL;
};

// The input signal, a sequence of segments of different character. Integer phase accumulators
// stand in for oscillators; samples are 24-bit integers scaled by a power of two, so exact.
class Signal {
 public:
  explicit Signal(Random& random) : random_(random) {}

  void next(float& left, float& right) {
    if (remaining_ == 0) {
      startSegment();
    }
    --remaining_;
    left = sample(phaseLeft_, stepLeft_);
    right = sample(phaseRight_, stepRight_);
  }

 private:
  enum class Kind { silence, triangle, square, noise, impulses, tiny, loud };

  void startSegment() {
    kind_ = static_cast<Kind>(random_.below(7));
    remaining_ = 200 + random_.below(20000);
    stepLeft_ = 1u + random_.below(1u << 26);
    stepRight_ = 1u + random_.below(1u << 26);
    level_ = static_cast<std::int32_t>(1 + random_.below(1u << 23));
  }

  float sample(std::uint32_t& phase, std::uint32_t step) {
    phase += step;
    std::int32_t value = 0;
    const auto triangle = [&] {
      const std::int32_t ramp = static_cast<std::int32_t>(phase >> 8) - (1 << 23);  // saw
      return (ramp < 0 ? -ramp : ramp) * 2 - (1 << 23);
    };
    switch (kind_) {
      case Kind::silence:
        return 0.0f;
      case Kind::triangle:
        value = static_cast<std::int32_t>((static_cast<std::int64_t>(triangle()) * level_) >> 23);
        break;
      case Kind::square:
        value = (phase & 0x80000000u) != 0 ? level_ : -level_;
        break;
      case Kind::noise:
        value = static_cast<std::int32_t>(random_.below(2u * static_cast<std::uint32_t>(level_))) -
                level_;
        break;
      case Kind::impulses:
        value = random_.below(3000) == 0 ? level_ : 0;
        break;
      case Kind::tiny:
        // Far below audibility, where filter states approach the subnormal range.
        return static_cast<float>(triangle() >> 12) * 1.0e-30f;
      case Kind::loud:
        // Beyond full scale: every band clips.
        return static_cast<float>(triangle()) * (4.0f / 8388608.0f);
    }
    return static_cast<float>(value) * (1.0f / 8388608.0f);
  }

  Random& random_;
  Kind kind_ = Kind::silence;
  std::uint32_t remaining_ = 0;
  std::uint32_t phaseLeft_ = 0;
  std::uint32_t phaseRight_ = 0;
  std::uint32_t stepLeft_ = 1;
  std::uint32_t stepRight_ = 1;
  std::int32_t level_ = 1;
};

// Block sizes from 1 to 4096, the small ones often: hosts split blocks at automation points.
std::int32_t blockSize(Random& random) {
  switch (random.below(4)) {
    case 0:
      return 1 + static_cast<std::int32_t>(random.below(16));
    case 1:
      return 1 + static_cast<std::int32_t>(random.below(512));
    case 2:
      return 1 + static_cast<std::int32_t>(random.below(kMaxBlock));
    default:
      return random.below(2) == 0 ? 1 : kMaxBlock;
  }
}

struct Summary {
  std::int64_t frames = 0;
  std::int64_t blocks = 0;
  std::int64_t parameterChanges = 0;
  std::int64_t programChanges = 0;
  std::int64_t accumulatingBlocks = 0;
  std::int64_t inPlaceBlocks = 0;
};

Summary render(Plugin& plugin, bool everyFormat, std::vector<float>& out) {
  Random random;
  Signal signal(random);
  Summary summary;
  std::array<std::vector<float>, 2> input{std::vector<float>(kMaxBlock),
                                          std::vector<float>(kMaxBlock)};
  std::array<std::vector<float>, 2> output{std::vector<float>(kMaxBlock),
                                           std::vector<float>(kMaxBlock)};
  out.reserve(static_cast<std::size_t>(kTotalFrames) * 2);

  while (summary.frames < kTotalFrames) {
    // Between blocks: automation (now and then beyond the nominal range) and program changes.
    const std::uint32_t changes = everyFormat ? 0 : random.below(4);
    for (std::uint32_t c = 0; c < changes; ++c) {
      const auto index = static_cast<std::int32_t>(random.below(4));
      float value = random.unit();
      if (random.below(50) == 0) {
        value = value * 2.0f - 0.5f;
      }
      plugin.setParameter(index, value);
      ++summary.parameterChanges;
    }
    // LV2 has no programs: the scenario for every format leaves them alone.
    if (!everyFormat && random.below(40) == 0) {
      plugin.setProgram(static_cast<std::int32_t>(random.below(2)));
      ++summary.programChanges;
    }

    const std::int32_t frames = static_cast<std::int32_t>(
        std::min<std::int64_t>(blockSize(random), kTotalFrames - summary.frames));
    for (std::int32_t i = 0; i < frames; ++i) {
      signal.next(input[0][static_cast<std::size_t>(i)], input[1][static_cast<std::size_t>(i)]);
    }
    float* inputs[2] = {input[0].data(), input[1].data()};
    float* outputs[2] = {output[0].data(), output[1].data()};
    if (everyFormat) {
      // Automation inside the block, in frame order, within 0..1.
      std::array<ParameterChange, 4> inside{};
      const std::uint32_t count = random.below(5);
      for (std::uint32_t c = 0; c < count; ++c) {
        inside[c] = {static_cast<std::int32_t>(random.below(static_cast<std::uint32_t>(frames))),
                     static_cast<std::int32_t>(random.below(4)), random.unit()};
      }
      std::stable_sort(
          inside.begin(), inside.begin() + count,
          [](const ParameterChange& a, const ParameterChange& b) { return a.frame < b.frame; });
      summary.parameterChanges += count;
      const bool inPlace = random.below(3) == 1;
      plugin.process(ProcessMode::replacing, inputs, inPlace ? inputs : outputs, frames,
                     std::span<const ParameterChange>(inside.data(), count));
      if (inPlace) {
        outputs[0] = inputs[0];
        outputs[1] = inputs[1];
        ++summary.inPlaceBlocks;
      }
      for (std::int32_t i = 0; i < frames; ++i) {
        out.push_back(outputs[0][i]);
        out.push_back(outputs[1][i]);
      }
      summary.frames += frames;
      ++summary.blocks;
      continue;
    }
    const std::uint32_t how = random.below(3);
    if (how == 0) {
      // Adding onto what the outputs hold: a copy of the input at half level.
      for (std::size_t ch = 0; ch < 2; ++ch) {
        for (std::int32_t i = 0; i < frames; ++i) {
          output[ch][static_cast<std::size_t>(i)] = input[ch][static_cast<std::size_t>(i)] * 0.5f;
        }
      }
      plugin.process(ProcessMode::accumulating, inputs, outputs, frames, {});
      ++summary.accumulatingBlocks;
    } else if (how == 1) {
      plugin.process(ProcessMode::replacing, inputs, inputs, frames, {});
      outputs[0] = inputs[0];
      outputs[1] = inputs[1];
      ++summary.inPlaceBlocks;
    } else {
      plugin.process(ProcessMode::replacing, inputs, outputs, frames, {});
    }
    for (std::int32_t i = 0; i < frames; ++i) {
      out.push_back(outputs[0][i]);
      out.push_back(outputs[1][i]);
    }
    summary.frames += frames;
    ++summary.blocks;
  }
  return summary;
}

}  // namespace

int main(int argc, char** argv) {
  const bool everyFormat = argc == 4 && std::string(argv[3]) == "--every-format";
  if (argc != 3 && !everyFormat) {
    std::fprintf(stderr, "usage: render_scenario PLUGIN OUT.f32 [--every-format]\n");
    return 2;
  }
  try {
    const std::unique_ptr<Plugin> plugin = plughost::openPlugin(argv[1]);
    plugin->setup(44100.0, kMaxBlock);
    plugin->setActive(true);
    std::vector<float> out;
    const Summary s = render(*plugin, everyFormat, out);
    plugin->setActive(false);

    std::ofstream file(argv[2], std::ios::binary);
    file.write(reinterpret_cast<const char*>(out.data()),
               static_cast<std::streamsize>(out.size() * sizeof(float)));
    if (!file) {
      throw plughost::HostError(std::string("cannot write '") + argv[2] + "'");
    }
    std::printf(
        "render_scenario: %lld frames in %lld blocks (%lld adding, %lld in place), %lld "
        "parameter changes, %lld program changes\n",
        static_cast<long long>(s.frames), static_cast<long long>(s.blocks),
        static_cast<long long>(s.accumulatingBlocks), static_cast<long long>(s.inPlaceBlocks),
        static_cast<long long>(s.parameterChanges), static_cast<long long>(s.programChanges));
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "render_scenario: error: %s\n", error.what());
    return 1;
  }
}
