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
#include "effect/drive_dsp.h"

#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

#if defined(__SSE2__) && !defined(DRIVE_DSP_SCALAR)
#include <emmintrin.h>
#define DRIVE_DSP_SSE2 1
#else
#define DRIVE_DSP_SSE2 0
#endif

#if defined(__GNUC__)
#define DRIVE_INLINE inline __attribute__((always_inline))
#define DRIVE_LAMBDA_INLINE __attribute__((always_inline))
#define DRIVE_NOINLINE __attribute__((noinline, cold))
#define DRIVE_UNLIKELY(x) __builtin_expect(!!(x), 0)
#else
#define DRIVE_INLINE inline
#define DRIVE_LAMBDA_INLINE
#define DRIVE_NOINLINE
#define DRIVE_UNLIKELY(x) (x)
#endif

namespace {

struct BandConstants {
  float gainFactor;
  double a;
  double b;
  double c;
  double threshold;
  double knee;  // 1/(1 - threshold) - threshold, to five decimals
};

constexpr BandConstants kBands[3] = {
    {700.0f, 0.02991, 2.02991, 1.030113, 0.1, 1.01111},
    {700.0f, 0.2492, 2.2492, 1.2593, 0.1, 1.01111},
    {1500.0f, 1.1397, 3.1397, 3.1141, 0.05, 1.00263},
};
constexpr double kOffset = 1e-7;

#if DRIVE_DSP_SSE2

// Halfway between the largest float and 2^128: under round-to-nearest-even a double rounds to
// a finite float exactly when its magnitude is below this.
constexpr double kFiniteFloatBound = 0x1.ffffffp127;
// Frames per chunk. The chunk buffers take about 9 KiB of stack.
constexpr std::int32_t kChunkFrames = 64;

// ---- Two-lane double arithmetic: lane 0 is the left channel, lane 1 the right. ----

using Pair = __m128d;
using Samples = __m128;  // left and right input sample in the two low float lanes

DRIVE_INLINE Pair splat(double v) {
  return _mm_set1_pd(v);
}
DRIVE_INLINE Pair makePair(float left, float right) {
  return _mm_set_pd(static_cast<double>(right), static_cast<double>(left));
}
DRIVE_INLINE float leftFloat(Pair v) {
  return static_cast<float>(_mm_cvtsd_f64(v));
}
DRIVE_INLINE float rightFloat(Pair v) {
  return static_cast<float>(_mm_cvtsd_f64(_mm_unpackhi_pd(v, v)));
}
DRIVE_INLINE Pair add(Pair x, Pair y) {
  return _mm_add_pd(x, y);
}
DRIVE_INLINE Pair sub(Pair x, Pair y) {
  return _mm_sub_pd(x, y);
}
DRIVE_INLINE Pair mul(Pair x, Pair y) {
  return _mm_mul_pd(x, y);
}
DRIVE_INLINE Pair div(Pair x, Pair y) {
  return _mm_div_pd(x, y);
}
DRIVE_INLINE Pair bitAnd(Pair x, Pair y) {
  return _mm_and_pd(x, y);
}
DRIVE_INLINE Pair bitXor(Pair x, Pair y) {
  return _mm_xor_pd(x, y);
}
// All-ones lanes where x < y; false for NaN.
DRIVE_INLINE Pair lessThan(Pair x, Pair y) {
  return _mm_cmplt_pd(x, y);
}
DRIVE_INLINE bool bothLanes(Pair mask) {
  return _mm_movemask_pd(mask) == 3;
}
// All bits but the sign.
DRIVE_INLINE Pair magnitudeMask() {
  return _mm_castsi128_pd(_mm_set1_epi64x(INT64_C(0x7fffffffffffffff)));
}
// Round each lane to float and widen it back (exact).
DRIVE_INLINE Pair roundToFloat(Pair v) {
  return _mm_cvtps_pd(_mm_cvtpd_ps(v));
}

DRIVE_INLINE Samples loadSamples(const float* left, const float* right, std::int32_t i) {
  return _mm_unpacklo_ps(_mm_load_ss(left + i), _mm_load_ss(right + i));
}
// Subnormal floats cost a microcode assist per instruction that reads or produces one (tens of
// cycles on common x86 cores), which would make quiet, denormal-range input several times slower
// than music. The input samples and their scaled values are therefore handled so that no float
// instruction ever sees a subnormal, with results identical to the plain conversions.

// The float product of two floats equals their exact double product rounded to float. Only for
// chunks in which neither the samples nor their products come near the subnormal range.
DRIVE_INLINE Pair scaleNormal(Samples s, Samples gain) {
  return _mm_cvtps_pd(_mm_mul_ps(s, gain));
}

// Each sample widened to double exactly. Lanes with a zero exponent field (zero or subnormal)
// are built from their integer mantissa instead of being converted.
DRIVE_INLINE Pair widenExact(Samples s) {
  const __m128i bits = _mm_castps_si128(s);
  const __m128i zeroExponent =
      _mm_cmpeq_epi32(_mm_and_si128(bits, _mm_set1_epi32(0x7f800000)), _mm_setzero_si128());
  const Pair widened = _mm_cvtps_pd(_mm_andnot_ps(_mm_castsi128_ps(zeroExponent), s));
  const Pair mantissa = _mm_cvtepi32_pd(_mm_and_si128(bits, _mm_set1_epi32(0x007fffff)));
  const Pair sign = _mm_castsi128_pd(
      _mm_unpacklo_epi32(_mm_setzero_si128(), _mm_and_si128(bits, _mm_set1_epi32(INT32_MIN))));
  const Pair tiny = _mm_or_pd(mul(mantissa, splat(0x1p-149)), sign);
  const Pair useTiny = _mm_castsi128_pd(_mm_unpacklo_epi32(zeroExponent, zeroExponent));
  return _mm_or_pd(_mm_and_pd(useTiny, tiny), _mm_andnot_pd(useTiny, widened));
}

DRIVE_INLINE __m128 loadTwo(const float* p) {
  return _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
}
DRIVE_INLINE void storeTwo(float* p, __m128 v) {
  _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_castps_si128(v));
}

// ---- State and per-block values ----

// Filter state of one band, both channels, as exact doubles of the stored floats.
struct BandState {
  Pair input;
  Pair output;
  Pair previousOutput;
};

struct State {
  BandState band[3];
  Pair previousInput[3];  // what the records' previousInput becomes; set by every chunk
};

struct Setup {
  Pair gain[3];
  Samples gainFloat[3];
  // Bit pattern of the smallest sample magnitude whose products with all non-zero gains are
  // normal floats; smaller non-zero samples take the exact scaling.
  std::int32_t smallestNormalSample;
  Pair p0, p1, p2, p3;
  Pair offset, one, magnitudeMask, finiteBound;
};

// The float product of a sample and a gain, as a double: their exact double product rounded to
// float, as a float multiplication gives it. Products below the smallest normal float are
// rounded onto the subnormal grid (multiples of 2^-149, ties to even) by adding and removing a
// constant whose last bit is worth 2^-149; the sign is put back for results that round to zero.
DRIVE_INLINE Pair scale(Pair sample, Pair gain, const Setup& c) {
  const Pair product = mul(sample, gain);  // exact: 24-bit by 24-bit significands
  const Pair magnitude = bitAnd(product, c.magnitudeMask);
  const Pair subnormal = lessThan(magnitude, splat(0x1p-126));
  const Pair normal = roundToFloat(_mm_andnot_pd(subnormal, product));
  const Pair grid = splat(0x1.8p-97);
  const Pair onGrid =
      _mm_or_pd(sub(add(product, grid), grid), _mm_andnot_pd(c.magnitudeMask, product));
  return _mm_or_pd(_mm_and_pd(subnormal, onGrid), _mm_andnot_pd(subnormal, normal));
}

// Per chunk: inputs[j][i] is band j's scaled input of frame i - 1 and outputs[j][i] its output
// of frame i - 2, so the entering state sits at the front. clipped[j][i] feeds the mix.
struct ChunkBuffers {
  Pair inputs[3][kChunkFrames + 1];
  Pair outputs[3][kChunkFrames + 2];
  Pair clipped[3][kChunkFrames];
};

// ---- Arithmetic of one band ----

// The new band output from the scaled input x, the previous input and the two previous
// outputs, unrounded.
template <int j>
DRIVE_INLINE Pair filterStep(Pair x, Pair input, Pair output, Pair previousOutput, const Setup& c) {
  constexpr BandConstants k = kBands[j];
  Pair acc = mul(sub(x, input), splat(k.a));
  acc = add(acc, mul(output, splat(k.b)));
  acc = sub(acc, previousOutput);
  return sub(div(acc, splat(k.c)), c.offset);
}

// Soft clipper of band j. Flipping the magnitude bits of v into those of the bent value keeps
// v's sign; magnitudes up to t (and +-0) pass with their bits intact. Written so that at most
// three values are live at a time.
template <int j>
DRIVE_INLINE Pair clip(Pair v, const Setup& c) {
  constexpr BandConstants k = kBands[j];
  const Pair magnitude = bitAnd(v, c.magnitudeMask);
  const Pair bent = roundToFloat(sub(c.one, div(c.one, add(magnitude, splat(k.knee)))));
  const Pair flip = bitXor(bent, magnitude);
  const Pair over = lessThan(splat(k.threshold), magnitude);
  return bitXor(v, bitAnd(over, flip));
}

DRIVE_INLINE Pair finiteMask(Pair v, const Setup& c) {
  return lessThan(bitAnd(v, c.magnitudeMask), c.finiteBound);
}

// ---- Chunks ----

// Runs count (>= 1) frames without the non-finite reset; fills b.clipped[.][0..count).
template <bool kNearSubnormal>
DRIVE_INLINE void runChunkFast(State& st, const Setup& c, const float* inLeft, const float* inRight,
                               std::int32_t count, ChunkBuffers& b) {
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
      const Pair s = widenExact(loadSamples(inLeft, inRight, i));
      x1 = scale(s, c.gain[0], c);
      x2 = scale(s, c.gain[1], c);
      x3 = scale(s, c.gain[2], c);
    } else {
      const Samples s = loadSamples(inLeft, inRight, i);
      x1 = scaleNormal(s, c.gainFloat[0]);
      x2 = scaleNormal(s, c.gainFloat[1]);
      x3 = scaleNormal(s, c.gainFloat[2]);
    }
    y1 = roundToFloat(filterStep<0>(x1, b.inputs[0][i], y1, b.outputs[0][i], c));
    y2 = roundToFloat(filterStep<1>(x2, b.inputs[1][i], y2, b.outputs[1][i], c));
    y3 = roundToFloat(filterStep<2>(x3, b.inputs[2][i], y3, b.outputs[2][i], c));
    b.inputs[0][i + 1] = x1;
    b.inputs[1][i + 1] = x2;
    b.inputs[2][i + 1] = x3;
    b.outputs[0][i + 2] = y1;
    b.outputs[1][i + 2] = y2;
    b.outputs[2][i + 2] = y3;
  };
  const auto finish = [&](std::int32_t i) DRIVE_LAMBDA_INLINE {
    b.clipped[0][i] = clip<0>(b.outputs[0][i + 2], c);
    b.clipped[1][i] = clip<1>(b.outputs[1][i + 2], c);
    b.clipped[2][i] = clip<2>(b.outputs[2][i + 2], c);
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
DRIVE_NOINLINE void runChunkGuarded(State& st, const Setup& c, const float* inLeft,
                                    const float* inRight, std::int32_t count, ChunkBuffers& b) {
  for (std::int32_t i = 0; i < count; ++i) {
    const Pair s = widenExact(loadSamples(inLeft, inRight, i));
    Pair y[3];
    for (int j = 0; j < 3; ++j) {
      BandState& f = st.band[j];
      const Pair x = scale(s, c.gain[j], c);
      const Pair acc = j == 0   ? filterStep<0>(x, f.input, f.output, f.previousOutput, c)
                       : j == 1 ? filterStep<1>(x, f.input, f.output, f.previousOutput, c)
                                : filterStep<2>(x, f.input, f.output, f.previousOutput, c);
      // Tested on the unrounded value: the rounded one is non-finite exactly when this fails.
      const Pair finite = finiteMask(acc, c);
      st.previousInput[j] = bitAnd(f.input, finite);
      f.input = bitAnd(x, finite);
      f.previousOutput = bitAnd(f.output, finite);
      f.output = bitAnd(roundToFloat(acc), finite);
      y[j] = f.output;
    }
    b.clipped[0][i] = clip<0>(y[0], c);
    b.clipped[1][i] = clip<1>(y[1], c);
    b.clipped[2][i] = clip<2>(y[2], c);
  }
}

DRIVE_INLINE bool allOutputsFinite(const State& st, const Setup& c) {
  return bothLanes(
      bitAnd(bitAnd(finiteMask(st.band[0].output, c), finiteMask(st.band[1].output, c)),
             finiteMask(st.band[2].output, c)));
}

DRIVE_INLINE Pair mixOf(const ChunkBuffers& b, std::int32_t i, const Setup& c) {
  return mul(
      add(add(mul(b.clipped[2][i], c.p2), mul(b.clipped[1][i], c.p1)), mul(b.clipped[0][i], c.p0)),
      c.p3);
}

// Mixes frames 0..count) of the chunk and writes them. Per pair of frames all left samples are
// written before any right sample is read, so a right buffer that is the left buffer ends as a
// per-channel loop would leave it.
template <OutputMode kMode>
DRIVE_INLINE void writeChunk(const ChunkBuffers& b, const Setup& c, std::int32_t count, float* left,
                             float* right) {
  std::int32_t i = 0;
  for (; i + 2 <= count; i += 2) {
    const Pair m0 = mixOf(b, i, c);
    const Pair m1 = mixOf(b, i + 1, c);
    const Pair mixLeft = _mm_unpacklo_pd(m0, m1);
    const Pair mixRight = _mm_unpackhi_pd(m0, m1);
    if constexpr (kMode == OutputMode::replacing) {
      storeTwo(left + i, _mm_cvtpd_ps(mixLeft));
      storeTwo(right + i, _mm_cvtpd_ps(mixRight));
    } else {
      storeTwo(left + i, _mm_cvtpd_ps(_mm_add_pd(_mm_cvtps_pd(loadTwo(left + i)), mixLeft)));
      storeTwo(right + i, _mm_cvtpd_ps(_mm_add_pd(_mm_cvtps_pd(loadTwo(right + i)), mixRight)));
    }
  }
  if (i < count) {
    const Pair m = mixOf(b, i, c);
    const Pair mixRight = _mm_unpackhi_pd(m, m);
    if constexpr (kMode == OutputMode::replacing) {
      _mm_store_ss(left + i, _mm_cvtpd_ps(m));
      _mm_store_ss(right + i, _mm_cvtpd_ps(mixRight));
    } else {
      _mm_store_ss(left + i, _mm_cvtpd_ps(_mm_add_sd(_mm_cvtps_pd(_mm_load_ss(left + i)), m)));
      _mm_store_ss(right + i,
                   _mm_cvtpd_ps(_mm_add_sd(_mm_cvtps_pd(_mm_load_ss(right + i)), mixRight)));
    }
  }
}

// Bits of the smallest sample magnitude whose product with every non-zero gain is a normal float
// (never below the smallest normal float itself, since subnormal samples are slow to read too).
std::int32_t smallestNormalSampleBits(const float gain[3]) {
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

Setup makeSetup(const float p[4], const float gain[3]) {
  return Setup{{splat(static_cast<double>(gain[0])), splat(static_cast<double>(gain[1])),
                splat(static_cast<double>(gain[2]))},
               {_mm_set1_ps(gain[0]), _mm_set1_ps(gain[1]), _mm_set1_ps(gain[2])},
               smallestNormalSampleBits(gain),
               splat(static_cast<double>(p[0])),
               splat(static_cast<double>(p[1])),
               splat(static_cast<double>(p[2])),
               splat(static_cast<double>(p[3])),
               splat(kOffset),
               splat(1.0),
               magnitudeMask(),
               splat(kFiniteFloatBound)};
}

// Whether any sample of the chunk is non-zero and below the smallest normal sample.
DRIVE_INLINE bool nearSubnormal(const Setup& c, const float* left, const float* right,
                                std::int32_t count) {
  const __m128i magnitudeBits = _mm_set1_epi32(0x7fffffff);
  const __m128i bound = _mm_set1_epi32(c.smallestNormalSample);
  const __m128i zero = _mm_setzero_si128();
  __m128i found = zero;
  const auto check = [&](__m128i bits) DRIVE_LAMBDA_INLINE {
    const __m128i magnitude = _mm_and_si128(bits, magnitudeBits);
    found = _mm_or_si128(
        found, _mm_and_si128(_mm_cmpgt_epi32(magnitude, zero), _mm_cmpgt_epi32(bound, magnitude)));
  };
  std::int32_t i = 0;
  for (; i + 4 <= count; i += 4) {
    check(_mm_loadu_si128(reinterpret_cast<const __m128i*>(left + i)));
    check(_mm_loadu_si128(reinterpret_cast<const __m128i*>(right + i)));
  }
  for (; i < count; ++i) {
    check(_mm_unpacklo_epi32(_mm_castps_si128(_mm_load_ss(left + i)),
                             _mm_castps_si128(_mm_load_ss(right + i))));
  }
  return _mm_movemask_epi8(found) != 0;
}

template <OutputMode kMode>
void runBlock(const Setup& c, BandFilter* filters, const float* inLeft, const float* inRight,
              float* outLeft, float* outRight, std::int32_t sampleFrames) noexcept {
  State st;
  for (std::ptrdiff_t j = 0; j < 3; ++j) {
    const BandFilter& l = filters[2 * j];
    const BandFilter& r = filters[2 * j + 1];
    st.band[j] = BandState{makePair(l.input, r.input), makePair(l.output, r.output),
                           makePair(l.previousOutput, r.previousOutput)};
  }
  ChunkBuffers buffers;
  for (std::int32_t start = 0; start < sampleFrames; start += kChunkFrames) {
    const std::int32_t count =
        sampleFrames - start < kChunkFrames ? sampleFrames - start : kChunkFrames;
    const State saved = st;
    if (DRIVE_UNLIKELY(nearSubnormal(c, inLeft + start, inRight + start, count))) {
      runChunkFast<true>(st, c, inLeft + start, inRight + start, count, buffers);
    } else {
      runChunkFast<false>(st, c, inLeft + start, inRight + start, count, buffers);
    }
    if (DRIVE_UNLIKELY(!allOutputsFinite(st, c))) {
      st = saved;
      runChunkGuarded(st, c, inLeft + start, inRight + start, count, buffers);
    }
    writeChunk<kMode>(buffers, c, count, outLeft + start, outRight + start);
  }
  for (std::ptrdiff_t j = 0; j < 3; ++j) {
    const BandState& s = st.band[j];
    const Pair previousInput = st.previousInput[j];
    filters[2 * j] = BandFilter{leftFloat(s.input), leftFloat(previousInput), leftFloat(s.output),
                                leftFloat(s.previousOutput)};
    filters[2 * j + 1] = BandFilter{rightFloat(s.input), rightFloat(previousInput),
                                    rightFloat(s.output), rightFloat(s.previousOutput)};
  }
}

#else  // No SSE2: the plain per-frame loop, the same arithmetic one value at a time.

struct Setup {
  float p[4];
  float gain[3];
};

inline float stepBand(BandFilter& f, const BandConstants& k, float sample, float gain) {
  const float x = static_cast<float>(static_cast<double>(sample) * static_cast<double>(gain));
  const float y = static_cast<float>(((static_cast<double>(x) - f.input) * k.a +
                                      static_cast<double>(f.output) * k.b - f.previousOutput) /
                                         k.c -
                                     kOffset);
  f = BandFilter{x, f.input, y, f.output};
  if (!(std::fabs(x) <= std::numeric_limits<float>::max()) ||
      !(std::fabs(y) <= std::numeric_limits<float>::max())) {
    f = BandFilter{};
    return 0.0f;
  }
  if (y > k.threshold) {
    return static_cast<float>(1.0 - 1.0 / (static_cast<double>(y) + k.knee));
  }
  if (y < -k.threshold) {
    return static_cast<float>(1.0 / (k.knee - static_cast<double>(y)) - 1.0);
  }
  return y;
}

template <OutputMode kMode>
void runBlock(const Setup& c, BandFilter* filters, const float* inLeft, const float* inRight,
              float* outLeft, float* outRight, std::int32_t sampleFrames) noexcept {
  for (std::int32_t i = 0; i < sampleFrames; ++i) {
    const float samples[2] = {inLeft[i], inRight[i]};
    float* const outs[2] = {outLeft, outRight};
    float y[2][3];
    for (int j = 0; j < 3; ++j) {
      for (int ch = 0; ch < 2; ++ch) {
        y[ch][j] = stepBand(filters[2 * j + ch], kBands[j], samples[ch], c.gain[j]);
      }
    }
    for (int ch = 0; ch < 2; ++ch) {
      const double m =
          ((static_cast<double>(c.p[2]) * y[ch][2] + static_cast<double>(c.p[1]) * y[ch][1]) +
           static_cast<double>(c.p[0]) * y[ch][0]) *
          static_cast<double>(c.p[3]);
      if constexpr (kMode == OutputMode::replacing) {
        outs[ch][i] = static_cast<float>(m);
      } else {
        outs[ch][i] = static_cast<float>(static_cast<double>(outs[ch][i]) + m);
      }
    }
  }
}

Setup makeSetup(const float p[4], const float gain[3]) {
  return Setup{{p[0], p[1], p[2], p[3]}, {gain[0], gain[1], gain[2]}};
}

#endif

}  // namespace

#if defined(__GNUC__) && defined(__i386__)
// A 32-bit Windows host may call with a stack aligned to 4 bytes only.
__attribute__((force_align_arg_pointer))
#endif
void runDriveBlock(const float parameters[4], BandFilter filters[kBandFilterCount],
                   const float* inLeft, const float* inRight, float* outLeft, float* outRight,
                   std::int32_t sampleFrames, OutputMode mode) noexcept {
  if (sampleFrames <= 0) {
    return;
  }
  float gain[3];
  for (int j = 0; j < 3; ++j) {
    gain[j] = static_cast<float>(static_cast<double>(parameters[j]) *
                                 static_cast<double>(kBands[j].gainFactor));
  }
  const Setup c = makeSetup(parameters, gain);
  if (mode == OutputMode::replacing) {
    runBlock<OutputMode::replacing>(c, filters, inLeft, inRight, outLeft, outRight, sampleFrames);
  } else {
    runBlock<OutputMode::accumulating>(c, filters, inLeft, inRight, outLeft, outRight,
                                       sampleFrames);
  }
}
