// The drive kernel's algorithm, written once over a two-lane type (lane 0 the left channel,
// lane 1 the right). effect/drive_lanes.h holds the two lane types: SSE2 intrinsics, which the
// product runs, and plain C++, which tests run against it. Internal to effect/drive_dsp*.cpp, the
// tests and the benchmarks; hosts see effect/drive_dsp.h only.
//
// How the kernel gets within a few tenths of the cost of one band's serial recurrence:
//
// - Each band's left and right state sit side by side in one pair of doubles, so the six
//   recurrences run as three independent two-lane chains. Lane-wise IEEE double arithmetic
//   gives the same bits as the scalar formulation; every rounding to float happens at the same
//   point as in a plain per-frame loop.
// - The clipper is branch-free. For y < -t, 1/(k - y) - 1 is exactly -(1 - 1/(|y| + k)), so
//   one division per value serves both sides and a lane select keeps or bends the value.
// - Frames are processed in chunks. Within a chunk the clippers run one frame behind the
//   recurrences, so the divisions on the serial chains come first in program order and the
//   divider serves them ahead of the clippers' divisions. Only the three chains' latest
//   outputs are carried in registers; older inputs and outputs go through a small history
//   buffer, which keeps 32-bit x86 (eight vector registers) from spilling the chains.
// - The reset of non-finite bands stays off the chains. A non-finite band output makes every
//   later output of that band non-finite (each step multiplies, adds and divides it), so a
//   chunk is first run without the reset, and if any band ends it non-finite the chunk is run
//   again from its saved state with the reset applied in every frame. The clipped values of a
//   chunk are therefore mixed and written to the host buffers only after the chunk is done.
// - Quiet input whose samples or scaled values come near the subnormal range takes a scaling
//   that never hands a subnormal float to the hardware (see drive_lanes.h); the choice is made
//   per chunk and does not change any result.
#pragma once

#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

#include "effect/band_filter.h"
#include "effect/drive_dsp.h"
#include "effect/drive_inline.h"

namespace drive_kernel {

struct BandConstants {
  float gainFactor;
  double a;
  double b;
  double c;
  double threshold;
  double knee;  // 1/(1 - threshold) - threshold, to five decimals
};

inline constexpr BandConstants kBands[3] = {
    {700.0f, 0.02991, 2.02991, 1.030113, 0.1, 1.01111},
    {700.0f, 0.2492, 2.2492, 1.2593, 0.1, 1.01111},
    {1500.0f, 1.1397, 3.1397, 3.1141, 0.05, 1.00263},
};
inline constexpr double kOffset = 1e-7;

// Halfway between the largest float and 2^128: under round-to-nearest-even a double rounds to
// a finite float exactly when its magnitude is below this.
inline constexpr double kFiniteFloatBound = 0x1.ffffffp127;
// Frames per chunk. The chunk buffers take about 9 KiB of stack.
inline constexpr std::int32_t kChunkFrames = 64;

// runDriveBlock computed with the plain C++ lanes: the same algorithm, the same bits, no vector
// instructions. For tests and benchmarks; the product does not link it.
void runDriveBlockPlain(const float parameters[4], BandFilter filters[kBandFilterCount],
                        const float* inLeft, const float* inRight, float* outLeft, float* outRight,
                        std::int32_t sampleFrames, OutputMode mode) noexcept;

// ---- State and per-block values ----

// Filter state of one band, both channels, as exact doubles of the stored floats.
template <class L>
struct BandState {
  typename L::Pair input;
  typename L::Pair output;
  typename L::Pair previousOutput;
};

template <class L>
struct State {
  BandState<L> band[3];
  typename L::Pair previousInput[3];  // what the records' previousInput becomes; set by every chunk
};

template <class L>
struct Setup {
  using Pair = typename L::Pair;
  Pair gain[3];
  typename L::Samples gainFloat[3];
  // Bit pattern of the smallest sample magnitude whose products with all non-zero gains are
  // normal floats; smaller non-zero samples take the exact scaling.
  std::int32_t smallestNormalSample;
  Pair p0, p1, p2, p3;
  Pair offset, one, magnitudeMask, finiteBound;
};

// Per chunk: inputs[j][i] is band j's scaled input of frame i - 1 and outputs[j][i] its output
// of frame i - 2, so the entering state sits at the front. clipped[j][i] feeds the mix.
template <class L>
struct ChunkBuffers {
  typename L::Pair inputs[3][kChunkFrames + 1];
  typename L::Pair outputs[3][kChunkFrames + 2];
  typename L::Pair clipped[3][kChunkFrames];
};

// ---- Arithmetic of one band ----

// The new band output from the scaled input x, the previous input and the two previous
// outputs, unrounded.
template <class L, int j>
DRIVE_INLINE typename L::Pair filterStep(typename L::Pair x, typename L::Pair input,
                                         typename L::Pair output, typename L::Pair previousOutput,
                                         const Setup<L>& c) {
  constexpr BandConstants k = kBands[j];
  typename L::Pair acc = L::mul(L::sub(x, input), L::splat(k.a));
  acc = L::add(acc, L::mul(output, L::splat(k.b)));
  acc = L::sub(acc, previousOutput);
  return L::sub(L::div(acc, L::splat(k.c)), c.offset);
}

// Soft clipper of band j. Flipping the magnitude bits of v into those of the bent value keeps
// v's sign; magnitudes up to t (and +-0) pass with their bits intact. Written so that at most
// three values are live at a time.
template <class L, int j>
DRIVE_INLINE typename L::Pair clip(typename L::Pair v, const Setup<L>& c) {
  constexpr BandConstants k = kBands[j];
  const auto magnitude = L::bitAnd(v, c.magnitudeMask);
  const auto bent =
      L::roundToFloat(L::sub(c.one, L::div(c.one, L::add(magnitude, L::splat(k.knee)))));
  const auto flip = L::bitXor(bent, magnitude);
  const auto over = L::lessThan(L::splat(k.threshold), magnitude);
  return L::bitXor(v, L::bitAnd(over, flip));
}

template <class L>
DRIVE_INLINE typename L::Pair finiteMask(typename L::Pair v, const Setup<L>& c) {
  return L::lessThan(L::bitAnd(v, c.magnitudeMask), c.finiteBound);
}

// ---- Chunks ----

// Runs count (>= 1) frames without the non-finite reset; fills b.clipped[.][0..count).
template <class L, bool kNearSubnormal>
DRIVE_INLINE void runChunkFast(State<L>& st, const Setup<L>& c, const float* inLeft,
                               const float* inRight, std::int32_t count, ChunkBuffers<L>& b) {
  using Pair = typename L::Pair;
  for (int j = 0; j < 3; ++j) {
    b.inputs[j][0] = st.band[j].input;
    b.outputs[j][0] = st.band[j].previousOutput;
    b.outputs[j][1] = st.band[j].output;
  }
  Pair y1 = st.band[0].output, y2 = st.band[1].output, y3 = st.band[2].output;
  const auto advance = [&](std::int32_t i) DRIVE_LAMBDA_INLINE {
    // Keeps the compiler from carrying history values in registers across frames; with eight
    // vector registers that would push the chains' outputs to the stack.
    std::atomic_signal_fence(std::memory_order_seq_cst);
    Pair x1, x2, x3;
    if constexpr (kNearSubnormal) {
      const Pair s = L::widen(L::loadSamples(inLeft, inRight, i));
      x1 = L::floatProduct(s, c.gain[0]);
      x2 = L::floatProduct(s, c.gain[1]);
      x3 = L::floatProduct(s, c.gain[2]);
    } else {
      const typename L::Samples s = L::loadSamples(inLeft, inRight, i);
      x1 = L::floatProductNormal(s, c.gainFloat[0]);
      x2 = L::floatProductNormal(s, c.gainFloat[1]);
      x3 = L::floatProductNormal(s, c.gainFloat[2]);
    }
    y1 = L::roundToFloat(filterStep<L, 0>(x1, b.inputs[0][i], y1, b.outputs[0][i], c));
    y2 = L::roundToFloat(filterStep<L, 1>(x2, b.inputs[1][i], y2, b.outputs[1][i], c));
    y3 = L::roundToFloat(filterStep<L, 2>(x3, b.inputs[2][i], y3, b.outputs[2][i], c));
    b.inputs[0][i + 1] = x1;
    b.inputs[1][i + 1] = x2;
    b.inputs[2][i + 1] = x3;
    b.outputs[0][i + 2] = y1;
    b.outputs[1][i + 2] = y2;
    b.outputs[2][i + 2] = y3;
  };
  const auto finish = [&](std::int32_t i) DRIVE_LAMBDA_INLINE {
    b.clipped[0][i] = clip<L, 0>(b.outputs[0][i + 2], c);
    b.clipped[1][i] = clip<L, 1>(b.outputs[1][i + 2], c);
    b.clipped[2][i] = clip<L, 2>(b.outputs[2][i + 2], c);
  };
  advance(0);
  for (std::int32_t i = 1; i < count; ++i) {
    advance(i);
    finish(i - 1);
  }
  finish(count - 1);
  for (int j = 0; j < 3; ++j) {
    st.band[j].input = b.inputs[j][count];
    st.band[j].output = b.outputs[j][count + 1];
    st.band[j].previousOutput = b.outputs[j][count];
    st.previousInput[j] = b.inputs[j][count - 1];
  }
}

// The same frames with the reset of a band whose new output is non-finite (it is non-finite
// whenever x or an old state value is, so one test covers the record). Only runs for chunks
// that meet a non-finite value, so it stays plain.
// The functions that are not inlined have internal linkage: each is used by one file, and the
// compiler then optimises them as its own (it splits off the cold parts of runBlock, which a
// function shared between files keeps inline).
template <class L>
static DRIVE_NOINLINE void runChunkGuarded(State<L>& st, const Setup<L>& c, const float* inLeft,
                                           const float* inRight, std::int32_t count,
                                           ChunkBuffers<L>& b) {
  using Pair = typename L::Pair;
  for (std::int32_t i = 0; i < count; ++i) {
    const Pair s = L::widen(L::loadSamples(inLeft, inRight, i));
    Pair y[3];
    for (int j = 0; j < 3; ++j) {
      BandState<L>& f = st.band[j];
      const Pair x = L::floatProduct(s, c.gain[j]);
      const Pair acc = j == 0   ? filterStep<L, 0>(x, f.input, f.output, f.previousOutput, c)
                       : j == 1 ? filterStep<L, 1>(x, f.input, f.output, f.previousOutput, c)
                                : filterStep<L, 2>(x, f.input, f.output, f.previousOutput, c);
      // Tested on the unrounded value: the rounded one is non-finite exactly when this fails.
      const Pair finite = finiteMask(acc, c);
      st.previousInput[j] = L::bitAnd(f.input, finite);
      f.input = L::bitAnd(x, finite);
      f.previousOutput = L::bitAnd(f.output, finite);
      f.output = L::bitAnd(L::roundToFloat(acc), finite);
      y[j] = f.output;
    }
    b.clipped[0][i] = clip<L, 0>(y[0], c);
    b.clipped[1][i] = clip<L, 1>(y[1], c);
    b.clipped[2][i] = clip<L, 2>(y[2], c);
  }
}

template <class L>
DRIVE_INLINE bool allOutputsFinite(const State<L>& st, const Setup<L>& c) {
  return L::bothLanes(
      L::bitAnd(L::bitAnd(finiteMask(st.band[0].output, c), finiteMask(st.band[1].output, c)),
                finiteMask(st.band[2].output, c)));
}

template <class L>
DRIVE_INLINE typename L::Pair mixOf(const ChunkBuffers<L>& b, std::int32_t i, const Setup<L>& c) {
  return L::mul(L::add(L::add(L::mul(b.clipped[2][i], c.p2), L::mul(b.clipped[1][i], c.p1)),
                       L::mul(b.clipped[0][i], c.p0)),
                c.p3);
}

// Mixes frames 0..count) of the chunk and writes them. Per pair of frames all left samples are
// written before any right sample is read, so a right buffer that is the left buffer ends as a
// per-channel loop would leave it.
template <class L, OutputMode kMode>
DRIVE_INLINE void writeChunk(const ChunkBuffers<L>& b, const Setup<L>& c, std::int32_t count,
                             float* left, float* right) {
  using Pair = typename L::Pair;
  std::int32_t i = 0;
  for (; i + 2 <= count; i += 2) {
    const Pair m0 = mixOf(b, i, c);
    const Pair m1 = mixOf(b, i + 1, c);
    const Pair mixLeft = L::lowLanes(m0, m1);
    const Pair mixRight = L::highLanes(m0, m1);
    if constexpr (kMode == OutputMode::replacing) {
      L::storeTwo(left + i, mixLeft);
      L::storeTwo(right + i, mixRight);
    } else {
      L::storeTwo(left + i, L::add(L::loadTwo(left + i), mixLeft));
      L::storeTwo(right + i, L::add(L::loadTwo(right + i), mixRight));
    }
  }
  if (i < count) {
    const Pair m = mixOf(b, i, c);
    const Pair mixRight = L::highLanes(m, m);
    if constexpr (kMode == OutputMode::replacing) {
      L::storeOne(left + i, m);
      L::storeOne(right + i, mixRight);
    } else {
      L::storeOne(left + i, L::addFirst(L::loadOne(left + i), m));
      L::storeOne(right + i, L::addFirst(L::loadOne(right + i), mixRight));
    }
  }
}

// Bits of the smallest sample magnitude whose product with every non-zero gain is a normal float
// (never below the smallest normal float itself, since subnormal samples are slow to read too).
inline std::int32_t smallestNormalSampleBits(const float gain[3]) {
  double smallestGain = std::numeric_limits<double>::infinity();
  for (int j = 0; j < 3; ++j) {
    const double g = std::fabs(static_cast<double>(gain[j]));
    if (g != 0.0 && g < smallestGain) {
      smallestGain = g;
    }
  }
  double bound = 0x1p-126;
  if (smallestGain < 1.0) {
    bound = 0x1p-126 / smallestGain;
  }
  if (!(bound < 0x1p127)) {  // also for a NaN gain: every non-zero sample goes the exact way
    return 0x7f800000;
  }
  // Rounded up, so that no sample below the exact bound passes.
  const float rounded = std::nextafter(static_cast<float>(bound), 1e30f);
  std::int32_t bits;
  std::memcpy(&bits, &rounded, sizeof bits);
  return bits;
}

template <class L>
Setup<L> makeSetup(const float p[4], const float gain[3]) {
  return Setup<L>{{L::splat(static_cast<double>(gain[0])), L::splat(static_cast<double>(gain[1])),
                   L::splat(static_cast<double>(gain[2]))},
                  {L::splatSamples(gain[0]), L::splatSamples(gain[1]), L::splatSamples(gain[2])},
                  smallestNormalSampleBits(gain),
                  L::splat(static_cast<double>(p[0])),
                  L::splat(static_cast<double>(p[1])),
                  L::splat(static_cast<double>(p[2])),
                  L::splat(static_cast<double>(p[3])),
                  L::splat(kOffset),
                  L::splat(1.0),
                  L::magnitudeMask(),
                  L::splat(kFiniteFloatBound)};
}

template <class L, OutputMode kMode>
static void runBlock(const Setup<L>& c, BandFilter* filters, const float* inLeft,
                     const float* inRight, float* outLeft, float* outRight,
                     std::int32_t sampleFrames) noexcept {
  State<L> st;
  for (std::ptrdiff_t j = 0; j < 3; ++j) {
    const BandFilter& l = filters[2 * j];
    const BandFilter& r = filters[2 * j + 1];
    st.band[j] = BandState<L>{L::makePair(l.input, r.input), L::makePair(l.output, r.output),
                              L::makePair(l.previousOutput, r.previousOutput)};
  }
  ChunkBuffers<L> buffers;
  for (std::int32_t start = 0; start < sampleFrames; start += kChunkFrames) {
    const std::int32_t count =
        sampleFrames - start < kChunkFrames ? sampleFrames - start : kChunkFrames;
    const State<L> saved = st;
    if (DRIVE_UNLIKELY(
            L::anyNearSubnormal(c.smallestNormalSample, inLeft + start, inRight + start, count))) {
      runChunkFast<L, true>(st, c, inLeft + start, inRight + start, count, buffers);
    } else {
      runChunkFast<L, false>(st, c, inLeft + start, inRight + start, count, buffers);
    }
    if (DRIVE_UNLIKELY(!allOutputsFinite(st, c))) {
      st = saved;
      runChunkGuarded(st, c, inLeft + start, inRight + start, count, buffers);
    }
    writeChunk<L, kMode>(buffers, c, count, outLeft + start, outRight + start);
  }
  for (std::ptrdiff_t j = 0; j < 3; ++j) {
    const BandState<L>& s = st.band[j];
    const typename L::Pair previousInput = st.previousInput[j];
    filters[2 * j] = BandFilter{L::leftFloat(s.input), L::leftFloat(previousInput),
                                L::leftFloat(s.output), L::leftFloat(s.previousOutput)};
    filters[2 * j + 1] = BandFilter{L::rightFloat(s.input), L::rightFloat(previousInput),
                                    L::rightFloat(s.output), L::rightFloat(s.previousOutput)};
  }
}

// The whole of runDriveBlock over the lane type L.
template <class L>
DRIVE_INLINE void runDriveBlockWith(const float parameters[4], BandFilter filters[kBandFilterCount],
                                    const float* inLeft, const float* inRight, float* outLeft,
                                    float* outRight, std::int32_t sampleFrames,
                                    OutputMode mode) noexcept {
  if (sampleFrames <= 0) {
    return;
  }
  float gain[3];
  for (int j = 0; j < 3; ++j) {
    gain[j] = static_cast<float>(static_cast<double>(parameters[j]) *
                                 static_cast<double>(kBands[j].gainFactor));
  }
  const Setup<L> c = makeSetup<L>(parameters, gain);
  if (mode == OutputMode::replacing) {
    runBlock<L, OutputMode::replacing>(c, filters, inLeft, inRight, outLeft, outRight,
                                       sampleFrames);
  } else {
    runBlock<L, OutputMode::accumulating>(c, filters, inLeft, inRight, outLeft, outRight,
                                          sampleFrames);
  }
}

}  // namespace drive_kernel
