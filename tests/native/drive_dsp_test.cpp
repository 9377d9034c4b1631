// The drive kernel against the numbers the effect must produce, bit for bit against the plain
// scalar transcription in drive_reference.h, and its SSE2 lanes against its plain C++ lanes.
// Floats are compared by their bits.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "effect/drive_dsp.h"
#include "effect/drive_kernel.h"
#include "tests/native/drive_reference.h"

namespace {

using BlockFunction = void (*)(const float*, BandFilter*, const float*, const float*, float*,
                               float*, std::int32_t, OutputMode) noexcept;

constexpr float kDefaults[4] = {0.5f, 0.5f, 0.5f, 0.2f};
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

std::uint32_t bitsOf(float v) {
  return std::bit_cast<std::uint32_t>(v);
}

std::string describe(float v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.9g (0x%08x)", static_cast<double>(v), bitsOf(v));
  return text;
}

::testing::AssertionResult sameBits(const float* actual, const float* expected, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    if (bitsOf(actual[i]) != bitsOf(expected[i])) {
      return ::testing::AssertionFailure()
             << "first difference at " << i << ": " << describe(actual[i]) << " instead of "
             << describe(expected[i]);
    }
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult sameBits(const std::vector<float>& a, const std::vector<float>& b) {
  if (a.size() != b.size()) {
    return ::testing::AssertionFailure() << "sizes " << a.size() << " and " << b.size();
  }
  return sameBits(a.data(), b.data(), a.size());
}

::testing::AssertionResult sameFilters(const BandFilter* actual, const BandFilter* expected) {
  return sameBits(&actual[0].input, &expected[0].input, std::size_t{4} * kBandFilterCount);
}

// All four fields +0.0, as after construction.
::testing::AssertionResult atRest(const BandFilter& f) {
  const BandFilter rest{};
  return sameBits(&f.input, &rest.input, 4);
}

// A printed value with `digits` significant digits matches when it is the rounding of actual.
void expectDigits(float actual, double printed, int digits) {
  const double unit = std::pow(10.0, std::floor(std::log10(std::fabs(printed))) - (digits - 1));
  EXPECT_NEAR(actual, printed, 0.5 * unit) << describe(actual);
}

struct Stereo {
  std::vector<float> left, right;
  explicit Stereo(std::size_t n = 0, float fill = 0.0f) : left(n, fill), right(n, fill) {}
  std::int32_t frames() const { return static_cast<std::int32_t>(left.size()); }
  Stereo slice(std::size_t begin, std::size_t end) const {
    Stereo s;
    s.left.assign(left.begin() + begin, left.begin() + end);
    s.right.assign(right.begin() + begin, right.begin() + end);
    return s;
  }
  void append(const Stereo& s) {
    left.insert(left.end(), s.left.begin(), s.left.end());
    right.insert(right.end(), s.right.begin(), s.right.end());
  }
};

::testing::AssertionResult sameBits(const Stereo& a, const Stereo& b) {
  auto left = sameBits(a.left, b.left);
  if (!left) {
    return left << " (left)";
  }
  auto right = sameBits(a.right, b.right);
  return right ? right : right << " (right)";
}

// One effect's processing state driven through a block function.
struct Drive {
  BlockFunction run = runDriveBlock;
  float parameters[4] = {kDefaults[0], kDefaults[1], kDefaults[2], kDefaults[3]};
  BandFilter filters[kBandFilterCount] = {};

  // Processes `in` onto `out` (whose contents matter when accumulating) in one block.
  void block(const Stereo& in, Stereo& out, OutputMode mode) {
    run(parameters, filters, in.left.data(), in.right.data(), out.left.data(), out.right.data(),
        in.frames(), mode);
  }
  Stereo replacing(const Stereo& in) {
    Stereo out(in.left.size(), kNaN);
    block(in, out, OutputMode::replacing);
    return out;
  }
};

// Deterministic test signals.
class SignalSource {
 public:
  explicit SignalSource(std::uint64_t seed) : rng_(seed) {}

  // Decaying harmonic notes at a level that engages the clippers part of the time.
  Stereo music(std::size_t n, double level = 0.02) {
    Stereo s(n);
    const double f = 80.0 + 400.0 * uniform(rng_);
    for (std::size_t i = 0; i < n; ++i) {
      const double t = static_cast<double>(i + offset_) / 44100.0;
      const double envelope = std::exp(-std::fmod(t, 0.2) * 15.0);
      double tone = 0.0;
      for (int h = 1; h <= 5; ++h) {
        tone += std::sin(6.283185307179586 * f * h * t + h) / h;
      }
      s.left[i] = static_cast<float>(level * envelope * tone);
      s.right[i] =
          static_cast<float>(level * envelope * std::sin(6.283185307179586 * f * 1.01 * t));
    }
    offset_ += n;
    return s;
  }

  // A mixture chosen per block: noise at levels from 1e-7 to 30, silence, music, tiny and
  // subnormal values, signed zeros, values near float overflow, and rare non-finite samples.
  Stereo anything(std::size_t n) {
    const int kind = static_cast<int>(rng_() % 8);
    Stereo s(n);
    if (kind == 0) {
      return s;
    }
    if (kind == 1) {
      return music(n, std::pow(10.0, -4.0 + 3.0 * uniform(rng_)));
    }
    const double level = std::pow(10.0, -7.0 + 8.5 * uniform(rng_));
    std::normal_distribution<double> noise(0.0, level);
    for (std::size_t i = 0; i < n; ++i) {
      s.left[i] = static_cast<float>(noise(rng_));
      s.right[i] = static_cast<float>(noise(rng_));
    }
    if (kind == 2 && n > 0) {
      const float specials[] = {0.0f,   -0.0f, 1e-45f, -1e-45f, 1e-39f, 3e35f,
                                -6e35f, 1e38f, 3e38f,  -3e38f,  kInf,   -kInf,
                                kNaN,   2e-7f, -2e-7f, 1.0f,    -1.0f,  5e35f};
      for (int k = 0; k < 4; ++k) {
        auto& channel = (rng_() % 2) ? s.left : s.right;
        channel[rng_() % n] = specials[rng_() % std::size(specials)];
      }
    }
    return s;
  }

  std::mt19937_64& rng() { return rng_; }

 private:
  std::mt19937_64 rng_;
  std::uniform_real_distribution<double> uniform{0.0, 1.0};
  std::size_t offset_ = 0;
};

// ---- The numbers the effect must produce, checked on the kernel and on the oracle alike ----

class DriveNumbers : public ::testing::TestWithParam<BlockFunction> {
 protected:
  Drive drive() {
    Drive d;
    d.run = GetParam();
    return d;
  }
};

TEST_P(DriveNumbers, NoFramesTouchesNothing) {
  for (const std::int32_t frames : {0, -1, -4096, std::numeric_limits<std::int32_t>::min()}) {
    for (const OutputMode mode : {OutputMode::replacing, OutputMode::accumulating}) {
      Drive d = drive();
      for (int k = 0; k < kBandFilterCount; ++k) {
        d.filters[k] = BandFilter{0.25f * k, -1.0f, kNaN, 3.0f};
      }
      BandFilter before[kBandFilterCount];
      std::memcpy(before, d.filters, sizeof before);
      // Null buffers: any read or write would crash.
      d.run(d.parameters, d.filters, nullptr, nullptr, nullptr, nullptr, frames, mode);
      EXPECT_TRUE(sameFilters(d.filters, before)) << frames;
    }
  }
}

TEST_P(DriveNumbers, SilenceStartsAtMinusOffsetPerBand) {
  Drive d = drive();
  const Stereo out = d.replacing(Stereo(1));
  expectDigits(out.left[0], -3.0e-8, 2);
  EXPECT_EQ(bitsOf(out.left[0]), bitsOf(out.right[0]));
  for (const BandFilter& f : d.filters) {
    EXPECT_EQ(bitsOf(f.output), bitsOf(static_cast<float>(-1e-7)));
  }
}

TEST_P(DriveNumbers, SilenceSettlesWithoutReachingZero) {
  Drive d = drive();
  const Stereo out = d.replacing(Stereo(2000));
  for (std::size_t i = 0; i < out.left.size(); ++i) {
    ASSERT_LT(out.left[i], 0.0f) << i;
    ASSERT_EQ(bitsOf(out.left[i]), bitsOf(out.right[i])) << i;
  }
  expectDigits(out.left.back(), -5.2037e-5, 5);
  const struct {
    double printed;
    int digits;
  } bands[3] = {{-5.076e-4, 4}, {-1.2468e-5, 5}, {-3.196e-7, 4}};
  for (int j = 0; j < 3; ++j) {
    const auto& k = drive_reference::kBands[j];
    const double fixedPoint = -k.c * drive_reference::kOffset / (k.c - k.b + 1.0);
    for (int ch = 0; ch < 2; ++ch) {
      const float state = d.filters[2 * j + ch].output;
      expectDigits(state, bands[j].printed, bands[j].digits);
      EXPECT_NEAR(state, fixedPoint, 1e-3 * std::fabs(fixedPoint)) << "band " << j + 1;
    }
  }
}

TEST_P(DriveNumbers, OneLoudFrameThenSilence) {
  Drive d = drive();
  Stereo in(4);
  in.left[0] = 0.001f;
  in.right[0] = 0.5f;
  Stereo out(4, kNaN);
  d.block(in.slice(0, 1), out, OutputMode::replacing);
  // Only band 3 is bent on the left in the first frame.
  EXPECT_LE(std::fabs(d.filters[kBand1Left].output), 0.1f);
  EXPECT_LE(std::fabs(d.filters[kBand2Left].output), 0.1f);
  expectDigits(d.filters[kBand3Left].output, 0.2745, 4);

  Stereo rest(3, kNaN);
  d.block(in.slice(1, 4), rest, OutputMode::replacing);
  const double left[4] = {0.0296408, 0.00665629, -0.00294916, -0.00410124};
  const double right[4] = {0.280057, 0.232702, 0.0805063, 0.0787105};
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    expectDigits(i == 0 ? out.left[0] : rest.left[i - 1], left[i], 6);
    expectDigits(i == 0 ? out.right[0] : rest.right[i - 1], right[i], 6);
  }
}

TEST_P(DriveNumbers, FullDriveStaysBelowThree) {
  Drive d = drive();
  for (float& p : d.parameters) {
    p = 1.0f;
  }
  Stereo in(4096);
  std::fill(in.left.begin(), in.left.end(), 1.0f);
  std::fill(in.right.begin(), in.right.end(), -1.0f);
  const Stereo out = d.replacing(in);
  expectDigits(out.left[0], 2.94415, 6);
  expectDigits(out.right[0], -2.94415, 6);
  for (std::size_t i = 0; i < out.left.size(); ++i) {
    ASSERT_LT(std::fabs(out.left[i]), 3.0f) << i;
    ASSERT_LT(std::fabs(out.right[i]), 3.0f) << i;
  }
}

TEST_P(DriveNumbers, EachOutputHearsOnlyItsInput) {
  SignalSource source(11);
  const Stereo music = source.music(3000, 0.05);
  for (const OutputMode mode : {OutputMode::replacing, OutputMode::accumulating}) {
    Drive silent = drive(), rightOnly = drive(), leftOnly = drive();
    Stereo in = music;
    std::fill(in.left.begin(), in.left.end(), 0.0f);
    Stereo quiet(music.left.size()), a(music.left.size()), b(music.left.size());
    silent.block(Stereo(music.left.size()), quiet, mode);
    rightOnly.block(in, a, mode);
    EXPECT_TRUE(sameBits(a.left, quiet.left));
    in = music;
    std::fill(in.right.begin(), in.right.end(), 0.0f);
    leftOnly.block(in, b, mode);
    EXPECT_TRUE(sameBits(b.right, quiet.right));
  }
}

TEST_P(DriveNumbers, AccumulatingOntoZerosEqualsReplacing) {
  SignalSource source(12);
  const Stereo in = source.music(1000, 0.05);
  Drive replacing = drive(), accumulating = drive();
  Stereo sum(in.left.size(), 0.0f);
  accumulating.block(in, sum, OutputMode::accumulating);
  EXPECT_TRUE(sameBits(sum, replacing.replacing(in)));
}

// A mix of -0.0 (all parameters 0 and negative band outputs) onto +0.0 gives +0.0.
TEST_P(DriveNumbers, SignedZeroMix) {
  Drive replacing = drive(), ontoPlus = drive(), ontoMinus = drive();
  for (Drive* d : {&replacing, &ontoPlus, &ontoMinus}) {
    std::fill(std::begin(d->parameters), std::end(d->parameters), 0.0f);
  }
  const Stereo silence(8);
  const Stereo out = replacing.replacing(silence);
  Stereo plus(8, 0.0f), minus(8, -0.0f);
  ontoPlus.block(silence, plus, OutputMode::accumulating);
  ontoMinus.block(silence, minus, OutputMode::accumulating);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(bitsOf(out.left[i]), 0x80000000u) << i;
    EXPECT_EQ(bitsOf(plus.left[i]), 0x00000000u) << i;
    EXPECT_EQ(bitsOf(minus.right[i]), 0x80000000u) << i;
  }
}

// The mix adds band 3 and band 2 before band 1. With p = (1e-30, -1, 1, 1) and a silent first
// frame (every band at -d) the first two cancel exactly and leave p0 * y1 = 1e-37; summing
// band 1 in earlier would lose it to rounding and give 0.
TEST_P(DriveNumbers, MixSumsBandsThreeTwoThenOne) {
  Drive d = drive();
  const float p[4] = {1e-30f, -1.0f, 1.0f, 1.0f};
  std::memcpy(d.parameters, p, sizeof p);
  const Stereo out = d.replacing(Stereo(1));
  const float y = static_cast<float>(-1e-7);
  const float expected = static_cast<float>(static_cast<double>(p[0]) * y);
  EXPECT_NE(expected, 0.0f);
  EXPECT_EQ(bitsOf(out.left[0]), bitsOf(expected));
  EXPECT_EQ(bitsOf(out.right[0]), bitsOf(expected));
}

INSTANTIATE_TEST_SUITE_P(Implementations, DriveNumbers,
                         ::testing::Values(&runDriveBlock, &drive_kernel::runDriveBlockPlain,
                                           &referenceDriveBlock),
                         [](const ::testing::TestParamInfo<BlockFunction>& info) {
                           return std::string(info.param == &runDriveBlock ? "Kernel"
                                              : info.param == &drive_kernel::runDriveBlockPlain
                                                  ? "PlainLanes"
                                                  : "Reference");
                         });

// ---- Kernel against the scalar oracle ----

// The kernel and the oracle side by side, each with its own state and buffers.
struct Pairing {
  Drive kernel, reference;
  Pairing() { reference.run = referenceDriveBlock; }
  void setParameters(const float p[4]) {
    std::memcpy(kernel.parameters, p, sizeof kernel.parameters);
    std::memcpy(reference.parameters, p, sizeof reference.parameters);
  }
  // Same block through both; returns the kernel's output after asserting equal bits.
  Stereo block(const Stereo& in, OutputMode mode, const Stereo& outBefore) {
    Stereo a = outBefore, b = outBefore;
    kernel.block(in, a, mode);
    reference.block(in, b, mode);
    EXPECT_TRUE(sameBits(a, b));
    EXPECT_TRUE(sameFilters(kernel.filters, reference.filters));
    return a;
  }
};

TEST(DriveKernel, AccumulatingAddsTheUnroundedMix) {
  SignalSource source(21);
  Pairing p;
  Drive replacingOnly;
  std::int64_t differs = 0;
  for (int round = 0; round < 50; ++round) {
    const Stereo in = source.music(512, 0.05);
    Stereo old(512);
    std::uniform_real_distribution<float> level(-1.0f, 1.0f);
    for (std::size_t i = 0; i < 512; ++i) {
      old.left[i] = level(source.rng());
      old.right[i] = level(source.rng());
    }
    const Stereo sum = p.block(in, OutputMode::accumulating, old);
    const Stereo m = replacingOnly.replacing(in);
    for (std::size_t i = 0; i < 512; ++i) {
      differs += bitsOf(sum.left[i]) != bitsOf(old.left[i] + m.left[i]);
    }
  }
  // Adding the rounded replacing output would have given another float this often: the data
  // does tell the two apart.
  EXPECT_GT(differs, 10);
}

TEST(DriveKernel, BlockSplitsAndModeChangesDoNotShowInTheOutput) {
  SignalSource source(22);
  const Stereo in = source.music(4099, 0.03);
  Drive whole;
  const Stereo expected = whole.replacing(in);
  const std::vector<std::vector<std::int32_t>> splits = {
      {2049, 2050},
      {1, 1, 1, 4096},
      {63, 64, 65, 127, 128, 129, 3523},
      {7, 13, 1, 333, 64, 64, 1000, 2617},
  };
  for (const auto& sizes : splits) {
    for (const bool alternate : {false, true}) {
      Drive d;
      Stereo out;
      std::size_t at = 0;
      int blockIndex = 0;
      for (const std::int32_t n : sizes) {
        const Stereo part = in.slice(at, at + n);
        // Accumulating onto zeros must continue the same signal.
        const bool accumulate = alternate && (blockIndex++ % 2 == 1);
        Stereo o(n, 0.0f);
        d.block(part, o, accumulate ? OutputMode::accumulating : OutputMode::replacing);
        out.append(o);
        at += n;
      }
      EXPECT_TRUE(sameBits(out, expected)) << sizes.size() << " blocks, alternate " << alternate;
      EXPECT_TRUE(sameFilters(d.filters, whole.filters));
    }
  }
}

// Aliasing that hosts use: in place, crossed, and one buffer for both outputs.
TEST(DriveKernel, SharedBuffersMatchThePerFrameLoop) {
  SignalSource source(23);
  enum Layout { separate, inPlace, crossed, oneOutput, oneInputInPlace };
  for (const Layout layout : {separate, inPlace, crossed, oneOutput, oneInputInPlace}) {
    for (const OutputMode mode : {OutputMode::replacing, OutputMode::accumulating}) {
      SCOPED_TRACE(::testing::Message() << "layout " << layout << " mode " << int(mode));
      Drive kernel, reference;
      reference.run = referenceDriveBlock;
      for (const std::int32_t n : {1, 2, 3, 64, 65, 200}) {
        const Stereo in = source.music(n, 0.05);
        Stereo memory[2];  // [0] kernel, [1] reference: inputs, then outputs
        Stereo outMemory[2];
        Stereo old = source.music(n, 0.3);  // what the output buffers held
        if (layout == oneOutput) {
          old.right = old.left;
        }
        for (int side = 0; side < 2; ++side) {
          memory[side] = in;
          outMemory[side] = old;
        }
        for (int side = 0; side < 2; ++side) {
          Drive& d = side == 0 ? kernel : reference;
          Stereo& m = memory[side];
          Stereo& o = outMemory[side];
          const float* il = m.left.data();
          const float* ir = m.right.data();
          float* ol = o.left.data();
          float* orr = o.right.data();
          switch (layout) {
            case separate:
              break;
            case inPlace:
              ol = m.left.data();
              orr = m.right.data();
              break;
            case crossed:
              ol = m.right.data();
              orr = m.left.data();
              break;
            case oneOutput:
              orr = ol;
              break;
            case oneInputInPlace:  // a mono host: one buffer for everything
              il = ir = ol = orr = m.left.data();
              break;
          }
          d.run(d.parameters, d.filters, il, ir, ol, orr, n, mode);
        }
        EXPECT_TRUE(sameBits(memory[0], memory[1])) << n;
        EXPECT_TRUE(sameBits(outMemory[0], outMemory[1])) << n;
        EXPECT_TRUE(sameFilters(kernel.filters, reference.filters)) << n;
      }
    }
  }
}

TEST(DriveKernel, ParametersChangeBetweenBlocksAndMayLeaveTheRange) {
  SignalSource source(24);
  Pairing p;
  const float sets[][4] = {{0.5f, 0.5f, 0.5f, 0.2f},       {1.0f, 0.0f, 0.3f, 1.0f},
                           {-0.7f, 1.8f, 3.0f, -2.5f},     {0.0f, -0.0f, 0.0f, 0.0f},
                           {1e-30f, 200.0f, -1e3f, 1e-3f}, {0.9f, 0.1f, 1.0f, 0.7f}};
  for (int round = 0; round < 4; ++round) {
    for (const auto& set : sets) {
      p.setParameters(set);
      const std::int32_t n = 1 + static_cast<std::int32_t>(source.rng()() % 300);
      p.block(source.music(n, 0.05), OutputMode::replacing, Stereo(n));
      p.block(source.anything(n), OutputMode::accumulating, source.music(n, 0.5));
    }
  }
}

// A non-finite or overflowing sample restarts the bands it reaches from rest: the output stays
// finite and the channel goes on exactly like a fresh one. The sample sits in the middle of a
// block; the expectation is built from three blocks with the left bands cleared by hand.
TEST(DriveKernel, NonFiniteSampleRestartsTheChannel) {
  const float samples[] = {kNaN, kInf, -kInf, 1e38f, -1e38f, 3.4e38f};
  for (const float bad : samples) {
    for (const OutputMode mode : {OutputMode::replacing, OutputMode::accumulating}) {
      SCOPED_TRACE(describe(bad));
      SignalSource source(25);
      const Stereo before = source.music(300, 0.05);
      Stereo event = source.music(1, 0.05);
      const Stereo after = source.music(700, 0.05);
      Stereo all = before;
      event.left[0] = bad;
      all.append(event);
      all.append(after);
      Drive d;
      Stereo out(all.left.size(), 0.0f);
      d.block(all, out, mode);

      Drive clean;
      Stereo outBefore(300, 0.0f), outEvent(1, 0.0f), outAfter(700, 0.0f);
      clean.block(before, outBefore, mode);
      event.left[0] = 0.0f;
      clean.block(event, outEvent, mode);
      for (const int k : {kBand1Left, kBand2Left, kBand3Left}) {
        clean.filters[k] = BandFilter{};
      }
      clean.block(after, outAfter, mode);

      EXPECT_TRUE(sameBits(out.slice(0, 300), outBefore));
      // Every band of the left channel restarted and added 0.
      EXPECT_EQ(bitsOf(out.left[300]), 0u);
      EXPECT_EQ(bitsOf(out.right[300]), bitsOf(outEvent.right[0]));
      EXPECT_TRUE(sameBits(out.slice(301, 1001), outAfter));
      EXPECT_TRUE(sameFilters(d.filters, clean.filters));
      for (std::size_t i = 0; i < out.left.size(); ++i) {
        ASSERT_TRUE(std::isfinite(out.left[i]) && std::isfinite(out.right[i])) << i;
      }
    }
  }
}

TEST(DriveKernel, OverflowInOneBandOrInTheRecurrenceResetsThatBandOnly) {
  Pairing p;
  // 6e35 overflows the 1500 x 0.5 gain of band 3 but not the 700 x 0.5 of bands 1 and 2.
  Stereo in(11, 0.0f);
  in.left[10] = 6e35f;
  p.block(in, OutputMode::replacing, Stereo(11));
  EXPECT_TRUE(atRest(p.kernel.filters[kBand3Left]));
  EXPECT_EQ(p.kernel.filters[kBand1Left].input, 6e35f * 350.0f);
  const Stereo out = p.block(Stereo(300, 0.0f), OutputMode::replacing, Stereo(300));
  for (const float v : out.left) {
    ASSERT_TRUE(std::isfinite(v));
  }
  // A finite input whose band output overflows float: x = 3e38 against a state near -3e38.
  Pairing q;
  q.kernel.filters[kBand3Left] = q.reference.filters[kBand3Left] =
      BandFilter{-3e38f, 0.0f, 3e38f, -3e38f};
  Stereo one(1, 0.0f);
  one.left[0] = 4e35f;  // x = 4e35 * 750 = 3e38
  const Stereo o = q.block(one, OutputMode::replacing, Stereo(1));
  EXPECT_TRUE(atRest(q.kernel.filters[kBand3Left]));
  EXPECT_NE(q.kernel.filters[kBand1Left].input, 0.0f);
  EXPECT_TRUE(std::isfinite(o.left[0]));
}

// The reset decision sits exactly at the edge of float's range: band outputs that round to the
// largest float are kept, those that round to infinity restart the band.
TEST(DriveKernel, ResetEdgeIsTheFloatOverflowEdge) {
  const auto& band = drive_reference::kBands[0];
  const double edge = 0x1.ffffffp127;  // halfway between the largest float and 2^128
  // With a zero input difference the unrounded output is (output * b - previousOutput) / c - d.
  // Take the smallest float output that overshoots the edge and sweep previousOutput in
  // single-ulp steps across the value that brings it back onto the edge.
  float output = static_cast<float>(edge * band.c / band.b);
  while (static_cast<double>(output) * band.b / band.c <= edge) {
    output = std::nextafter(output, kInf);
  }
  const double onEdge =
      static_cast<double>(output) * band.b - (edge + drive_reference::kOffset) * band.c;
  float previousOutput = static_cast<float>(onEdge);
  for (int k = 0; k < 200; ++k) {
    previousOutput = std::nextafter(previousOutput, -kInf);
  }
  int kept = 0, reset = 0;
  for (int k = 0; k < 400; ++k) {
    Pairing p;
    // The right lane mirrors the left one: the same edge on the negative side.
    p.kernel.filters[kBand1Left] = p.reference.filters[kBand1Left] =
        BandFilter{0.0f, 0.0f, output, previousOutput};
    p.kernel.filters[kBand1Right] = p.reference.filters[kBand1Right] =
        BandFilter{0.0f, 0.0f, -output, -previousOutput};
    p.block(Stereo(1, 0.0f), OutputMode::replacing, Stereo(1));
    (p.kernel.filters[kBand1Left].output == 0.0f ? reset : kept) += 1;
    previousOutput = std::nextafter(previousOutput, kInf);
  }
  EXPECT_GT(kept, 0);
  EXPECT_GT(reset, 0);
}

// Long randomized run: block sizes, modes, parameters, signals, aliasing and rare non-finite
// samples all vary. Repeat with --gtest_repeat=N for a longer run; each repetition draws new
// data.
TEST(DriveKernel, RandomizedAgainstTheScalarLoop) {
  static std::uint64_t repetition = 0;
  SignalSource source(0x5eed0000 + repetition++);
  auto& rng = source.rng();
  Pairing p;
  std::int64_t frames = 0;
  while (frames < 1500000) {
    if (rng() % 6 == 0) {
      float set[4];
      for (float& v : set) {
        const int kind = static_cast<int>(rng() % 5);
        v = kind == 0   ? 0.5f
            : kind == 1 ? static_cast<float>(rng() % 11) / 10.0f
            : kind == 2 ? std::uniform_real_distribution<float>(-1.0f, 2.0f)(rng)
            : kind == 3 ? std::uniform_real_distribution<float>(0.0f, 1.0f)(rng)
                        : std::uniform_real_distribution<float>(-20.0f, 20.0f)(rng);
      }
      p.setParameters(set);
    }
    const std::int32_t sizes[] = {0, -3, 1, 2, 3, 63, 64, 65, 128, 129, 256, 511, 1024};
    const std::int32_t n =
        rng() % 3 == 0 ? sizes[rng() % std::size(sizes)] : static_cast<std::int32_t>(rng() % 700);
    const std::size_t length = n > 0 ? static_cast<std::size_t>(n) : 0;
    const Stereo in = source.anything(length);
    const OutputMode mode = rng() % 2 ? OutputMode::replacing : OutputMode::accumulating;
    const Stereo old = source.anything(length);
    if (rng() % 4 == 0) {
      // In place, through both functions.
      Stereo a = in, b = in;
      p.kernel.run(p.kernel.parameters, p.kernel.filters, a.left.data(), a.right.data(),
                   a.left.data(), a.right.data(), n, mode);
      p.reference.run(p.reference.parameters, p.reference.filters, b.left.data(), b.right.data(),
                      b.left.data(), b.right.data(), n, mode);
      ASSERT_TRUE(sameBits(a, b)) << "in place, frames " << frames;
      ASSERT_TRUE(sameFilters(p.kernel.filters, p.reference.filters));
    } else {
      Stereo a = old, b = old;
      p.kernel.run(p.kernel.parameters, p.kernel.filters, in.left.data(), in.right.data(),
                   a.left.data(), a.right.data(), n, mode);
      p.reference.run(p.reference.parameters, p.reference.filters, in.left.data(), in.right.data(),
                      b.left.data(), b.right.data(), n, mode);
      ASSERT_TRUE(sameBits(a, b)) << "frames " << frames;
      ASSERT_TRUE(sameFilters(p.kernel.filters, p.reference.filters));
    }
    frames += static_cast<std::int64_t>(length);
  }
  RecordProperty("frames", std::to_string(frames));
}

TEST(DriveKernel, SubnormalRangeMatchesTheScalarLoop) {
  // Quiet input near and below the smallest normal float takes the kernel's exact scaling path;
  // small gains push even normal samples' products into the subnormal range.
  std::mt19937_64 rng(0xde40);
  std::uniform_real_distribution<double> exponent(-149.0, -100.0);
  Pairing p;
  const float parameterSets[][4] = {{0.5f, 0.5f, 0.5f, 0.2f},
                                    {1e-3f, 0.7f, 1e-6f, 1.0f},
                                    {1e-30f, 0.0f, -2e-4f, 0.5f},
                                    {0.0f, 0.0f, 0.0f, 1.0f},
                                    {1.0f, 1.0f, 1.0f, 1.0f}};
  for (const auto& parameters : parameterSets) {
    p.setParameters(parameters);
    for (int block = 0; block < 40; ++block) {
      const std::size_t n = 1 + rng() % 300;
      Stereo in(n);
      for (std::size_t i = 0; i < n; ++i) {
        for (float* sample : {&in.left[i], &in.right[i]}) {
          const double magnitude = std::exp2(exponent(rng));
          *sample = static_cast<float>(rng() % 2 ? magnitude : -magnitude);
          if (rng() % 50 == 0) {
            *sample = rng() % 2 ? 0.0f : -0.0f;
          }
        }
      }
      // Some blocks mix in ordinary signal, so chunks switch between the two paths.
      if (block % 3 == 0) {
        in.left[rng() % n] = 0.25f;
      }
      const OutputMode mode = block % 2 ? OutputMode::replacing : OutputMode::accumulating;
      p.block(in, mode, Stereo(n));
    }
  }
}

// ---- The SSE2 lanes against the plain lanes ----

// The product runs the kernel over the SSE2 lanes, the plain lanes run the same algorithm one
// double at a time. Both see the same inputs, state and output buffers; any difference in the
// bytes of outputs or filter records is a lane operation that does not do what it stands for.

// Filter records to start from, all six alike.
struct LaneStart {
  const char* name;
  BandFilter record;
};

constexpr LaneStart kLaneStarts[] = {
    {"rest", BandFilter{}},
    {"subnormal", BandFilter{1e-45f, -3e-39f, 1.1754942e-38f, -1e-40f}},
    {"near overflow", BandFilter{-3e38f, 3e38f, 3.4e38f, -3.4e38f}},
};

struct LaneParameters {
  const char* name;
  float p[4];
  // A non-finite parameter makes NaN meet NaN in the mix, and which of two NaNs an addition
  // passes on is up to the compiler's operand order in either lane type: there only NaN-ness
  // has to agree. Everywhere else at most one operand is a NaN and the bytes are determined.
  bool nanPayloadsFree = false;
};

constexpr LaneParameters kLaneParameters[] = {
    {"defaults", {0.5f, 0.5f, 0.5f, 0.2f}},
    {"full", {1.0f, 1.0f, 1.0f, 1.0f}},
    {"zero", {0.0f, -0.0f, 0.0f, 0.0f}},
    {"tiny gains", {1e-30f, 1e-6f, -2e-4f, 1.0f}},
    {"out of range", {-0.7f, 1.8f, 3.0f, -2.5f}},
    {"mix overflows", {1e30f, -1e30f, 1e30f, 1e30f}},
    {"non-finite", {kInf, -kInf, kNaN, 1.0f}, true},
};

enum class LaneSignal { silence, music, loud, subnormal, specials, huge, anything };

struct LaneSignalCase {
  const char* name;
  LaneSignal kind;
};

constexpr LaneSignalCase kLaneSignals[] = {
    {"silence", LaneSignal::silence},   {"music", LaneSignal::music},
    {"loud noise", LaneSignal::loud},   {"subnormal", LaneSignal::subnormal},
    {"specials", LaneSignal::specials}, {"huge", LaneSignal::huge},
    {"anything", LaneSignal::anything},
};

// Odd sizes, both sides of the 64-frame chunk, and the largest block hosts use.
constexpr std::int32_t kLaneBlockSizes[] = {1, 2, 3, 7, 63, 64, 65, 129, 1001, 4095, 4096};

Stereo laneSignal(SignalSource& source, LaneSignal kind, std::size_t n) {
  auto& rng = source.rng();
  Stereo s(n);
  switch (kind) {
    case LaneSignal::silence:
      break;
    case LaneSignal::music:
      s = source.music(n, 0.05);
      break;
    case LaneSignal::loud: {
      std::normal_distribution<double> noise(0.0, 10.0);
      for (std::size_t i = 0; i < n; ++i) {
        s.left[i] = static_cast<float>(noise(rng));
        s.right[i] = static_cast<float>(noise(rng));
      }
      break;
    }
    case LaneSignal::subnormal: {
      // Magnitudes from the smallest subnormal to just above the smallest normal, signed zeros.
      std::uniform_real_distribution<double> exponent(-149.0, -120.0);
      for (std::size_t i = 0; i < n; ++i) {
        for (float* v : {&s.left[i], &s.right[i]}) {
          const int pick = static_cast<int>(rng() % 16);
          const double m = std::exp2(exponent(rng));
          *v = pick == 0 ? 0.0f : pick == 1 ? -0.0f : static_cast<float>(pick % 2 ? m : -m);
        }
      }
      break;
    }
    case LaneSignal::specials: {
      // Music with a non-finite, overflowing or subnormal sample every few frames.
      s = source.music(n, 0.05);
      const float specials[] = {kNaN,  -kNaN,  kInf,   -kInf,   3.4e38f, -3.4e38f, 1e38f,
                                6e35f, -6e35f, 1e-45f, -1e-45f, 1e-39f,  0.0f,     -0.0f};
      for (std::size_t i = 0; i < n; i += 1 + rng() % 37) {
        (rng() % 2 ? s.left : s.right)[i] = specials[rng() % std::size(specials)];
      }
      break;
    }
    case LaneSignal::huge: {
      // Finite samples whose products with any gain above 1 overflow float.
      std::uniform_real_distribution<float> level(-3.4e38f, 3.4e38f);
      for (std::size_t i = 0; i < n; ++i) {
        s.left[i] = level(rng);
        s.right[i] = level(rng);
      }
      break;
    }
    case LaneSignal::anything:
      s = source.anything(n);
      break;
  }
  return s;
}

// What an output buffer holds before an accumulating block: ordinary values, a few special ones.
Stereo laneOldOutput(SignalSource& source, std::size_t n) {
  Stereo s = source.music(n, 0.5);
  const float specials[] = {kNaN, kInf, -kInf, 3.4e38f, 1e-45f, -0.0f};
  for (std::size_t i = 0; i < n; i += 1 + source.rng()() % 53) {
    (source.rng()() % 2 ? s.left : s.right)[i] = specials[source.rng()() % std::size(specials)];
  }
  return s;
}

// Every NaN replaced by the one quiet NaN.
Stereo withOneNaN(Stereo s) {
  for (auto* channel : {&s.left, &s.right}) {
    for (float& v : *channel) {
      v = std::isnan(v) ? kNaN : v;
    }
  }
  return s;
}

bool sameBytes(const Stereo& a, const Stereo& b) {
  return a.left.size() == b.left.size() && a.right.size() == b.right.size() &&
         std::memcmp(a.left.data(), b.left.data(), a.left.size() * sizeof(float)) == 0 &&
         std::memcmp(a.right.data(), b.right.data(), a.right.size() * sizeof(float)) == 0;
}

TEST(DriveLanes, Sse2AndPlainLanesGiveTheSameBytes) {
  std::int64_t blocks = 0;
  for (const LaneStart& start : kLaneStarts) {
    for (const LaneParameters& parameters : kLaneParameters) {
      for (const LaneSignalCase& signal : kLaneSignals) {
        for (const OutputMode mode : {OutputMode::replacing, OutputMode::accumulating}) {
          SCOPED_TRACE(::testing::Message()
                       << "start " << start.name << ", parameters " << parameters.name
                       << ", signal " << signal.name << ", "
                       << (mode == OutputMode::replacing ? "replacing" : "accumulating"));
          SignalSource source(0x1a9e5 + blocks);
          Drive sse2, plain;
          plain.run = drive_kernel::runDriveBlockPlain;
          for (Drive* d : {&sse2, &plain}) {
            std::memcpy(d->parameters, parameters.p, sizeof d->parameters);
            std::fill(std::begin(d->filters), std::end(d->filters), start.record);
          }
          // Consecutive blocks of every size, so each starts from the state the last one left;
          // every other block is processed in place.
          int index = 0;
          for (const std::int32_t n : kLaneBlockSizes) {
            const auto length = static_cast<std::size_t>(n);
            const Stereo in = laneSignal(source, signal.kind, length);
            const bool inPlace = index++ % 2 == 1;
            Stereo a = mode == OutputMode::replacing ? Stereo(length, kNaN)
                                                     : laneOldOutput(source, length);
            Stereo b = a;
            if (inPlace) {
              // The input is where the output goes: accumulating adds onto the input itself.
              a = in;
              b = in;
              sse2.run(sse2.parameters, sse2.filters, a.left.data(), a.right.data(), a.left.data(),
                       a.right.data(), n, mode);
              plain.run(plain.parameters, plain.filters, b.left.data(), b.right.data(),
                        b.left.data(), b.right.data(), n, mode);
            } else {
              sse2.block(in, a, mode);
              plain.block(in, b, mode);
            }
            ++blocks;
            if (parameters.nanPayloadsFree) {
              a = withOneNaN(a);
              b = withOneNaN(b);
            }
            ASSERT_TRUE(sameBytes(a, b))
                << n << " frames, in place " << inPlace << ": " << sameBits(a, b).message();
            ASSERT_TRUE(sameFilters(sse2.filters, plain.filters))
                << n << " frames, in place " << inPlace;
          }
        }
      }
    }
  }
  RecordProperty("blocks", std::to_string(blocks));
}

}  // namespace
