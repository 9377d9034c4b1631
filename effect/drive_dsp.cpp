// How the kernel reaches a few tenths above the cost of one band's serial recurrence:
//
// - Each band's left and right state sit side by side in one pair of doubles, so the six
//   recurrences run as three independent two-lane chains. Lane-wise IEEE double arithmetic
//   gives the same bits as the scalar formulation; every rounding to float happens at the same
//   point as in a plain per-frame loop.
// - The clipper and the mix are branch-free lane selects. For y < -t, 1/(k - y) - 1 is exactly
//   -(1 - 1/(|y| + k)), so one division per value serves both sides.
// - The loop is software pipelined by one frame: the recurrences of frame i are issued before
//   the clippers of frame i - 1, so the divisions on the serial chains come first in program
//   order and the divider serves them ahead of the clippers' divisions.
// - The reset of non-finite bands stays off the chains. A non-finite band output makes every
//   later output of that band non-finite (each step multiplies, adds and divides it), so a
//   chunk of frames is run without the reset, and if any band ends the chunk non-finite the
//   chunk is run again from its saved state with the reset in every frame. Mixes are therefore
//   collected per chunk and written to the host buffers once the chunk is known to be good.
#include "effect/drive_dsp.h"

#include <cstdint>
#include <cstring>

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
// Halfway between the largest float and 2^128: under round-to-nearest-even a double rounds to
// a finite float exactly when its magnitude is below this.
constexpr double kFiniteFloatBound = 0x1.ffffffp127;
// Frames per chunk: the mixes of a chunk wait in a small stack buffer (2 KiB).
constexpr std::int32_t kChunkFrames = 128;

// ---- Two-lane double arithmetic: lane 0 is the left channel, lane 1 the right. ----
#if DRIVE_DSP_SSE2

using Pair = __m128d;
using Samples = __m128;  // left and right input sample in the two low float lanes

DRIVE_INLINE Pair splat(double v) { return _mm_set1_pd(v); }
DRIVE_INLINE Pair makePair(float left, float right) {
  return _mm_set_pd(static_cast<double>(right), static_cast<double>(left));
}
DRIVE_INLINE float leftFloat(Pair v) { return static_cast<float>(_mm_cvtsd_f64(v)); }
DRIVE_INLINE float rightFloat(Pair v) {
  return static_cast<float>(_mm_cvtsd_f64(_mm_unpackhi_pd(v, v)));
}
DRIVE_INLINE Pair add(Pair x, Pair y) { return _mm_add_pd(x, y); }
DRIVE_INLINE Pair sub(Pair x, Pair y) { return _mm_sub_pd(x, y); }
DRIVE_INLINE Pair mul(Pair x, Pair y) { return _mm_mul_pd(x, y); }
DRIVE_INLINE Pair div(Pair x, Pair y) { return _mm_div_pd(x, y); }
DRIVE_INLINE Pair bitAnd(Pair x, Pair y) { return _mm_and_pd(x, y); }
DRIVE_INLINE Pair bitXor(Pair x, Pair y) { return _mm_xor_pd(x, y); }
// All-ones lanes where x < y; false for NaN.
DRIVE_INLINE Pair lessThan(Pair x, Pair y) { return _mm_cmplt_pd(x, y); }
DRIVE_INLINE bool bothLanes(Pair mask) { return _mm_movemask_pd(mask) == 3; }
// All bits but the sign.
DRIVE_INLINE Pair magnitudeMask() {
  return _mm_castsi128_pd(_mm_set1_epi64x(INT64_C(0x7fffffffffffffff)));
}
// Round each lane to float and widen it back (exact).
DRIVE_INLINE Pair roundToFloat(Pair v) { return _mm_cvtps_pd(_mm_cvtpd_ps(v)); }

DRIVE_INLINE Samples loadSamples(const float* left, const float* right, std::int32_t i) {
  return _mm_unpacklo_ps(_mm_load_ss(left + i), _mm_load_ss(right + i));
}
DRIVE_INLINE Samples splatGain(float g) { return _mm_set1_ps(g); }
// The float product of two floats equals their exact double product rounded to float.
DRIVE_INLINE Pair scale(Samples s, Samples gain) { return _mm_cvtps_pd(_mm_mul_ps(s, gain)); }

DRIVE_INLINE __m128 loadTwo(const float* p) {
  return _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
}
DRIVE_INLINE void storeTwo(float* p, __m128 v) {
  _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_castps_si128(v));
}

// Writes the mixes m[0..count) of consecutive frames. Per pair of frames all left samples are
// written before any right sample is read, so a right buffer that is the left buffer ends as
// a per-channel loop would leave it.
template <OutputMode kMode>
DRIVE_INLINE void writeMixes(const Pair* m, std::int32_t count, float* left, float* right) {
  std::int32_t i = 0;
  for (; i + 2 <= count; i += 2) {
    const Pair mixLeft = _mm_unpacklo_pd(m[i], m[i + 1]);
    const Pair mixRight = _mm_unpackhi_pd(m[i], m[i + 1]);
    if constexpr (kMode == OutputMode::replacing) {
      storeTwo(left + i, _mm_cvtpd_ps(mixLeft));
      storeTwo(right + i, _mm_cvtpd_ps(mixRight));
    } else {
      storeTwo(left + i, _mm_cvtpd_ps(_mm_add_pd(_mm_cvtps_pd(loadTwo(left + i)), mixLeft)));
      storeTwo(right + i, _mm_cvtpd_ps(_mm_add_pd(_mm_cvtps_pd(loadTwo(right + i)), mixRight)));
    }
  }
  if (i < count) {
    const Pair mixRight = _mm_unpackhi_pd(m[i], m[i]);
    if constexpr (kMode == OutputMode::replacing) {
      _mm_store_ss(left + i, _mm_cvtpd_ps(m[i]));
      _mm_store_ss(right + i, _mm_cvtpd_ps(mixRight));
    } else {
      _mm_store_ss(left + i, _mm_cvtpd_ps(_mm_add_sd(_mm_cvtps_pd(_mm_load_ss(left + i)), m[i])));
      _mm_store_ss(right + i,
                   _mm_cvtpd_ps(_mm_add_sd(_mm_cvtps_pd(_mm_load_ss(right + i)), mixRight)));
    }
  }
}

#else  // Portable two-lane fallback with the same semantics.

struct Pair {
  double lane[2];
};
struct Samples {
  float lane[2];
};

DRIVE_INLINE std::uint64_t bitsOf(double v) {
  std::uint64_t u;
  std::memcpy(&u, &v, sizeof u);
  return u;
}
DRIVE_INLINE double fromBits(std::uint64_t u) {
  double v;
  std::memcpy(&v, &u, sizeof v);
  return v;
}
template <typename Op>
DRIVE_INLINE Pair lanewise(Pair x, Pair y, Op op) {
  return Pair{{op(x.lane[0], y.lane[0]), op(x.lane[1], y.lane[1])}};
}
DRIVE_INLINE Pair splat(double v) { return Pair{{v, v}}; }
DRIVE_INLINE Pair makePair(float left, float right) {
  return Pair{{static_cast<double>(left), static_cast<double>(right)}};
}
DRIVE_INLINE float leftFloat(Pair v) { return static_cast<float>(v.lane[0]); }
DRIVE_INLINE float rightFloat(Pair v) { return static_cast<float>(v.lane[1]); }
DRIVE_INLINE Pair add(Pair x, Pair y) {
  return lanewise(x, y, [](double p, double q) { return p + q; });
}
DRIVE_INLINE Pair sub(Pair x, Pair y) {
  return lanewise(x, y, [](double p, double q) { return p - q; });
}
DRIVE_INLINE Pair mul(Pair x, Pair y) {
  return lanewise(x, y, [](double p, double q) { return p * q; });
}
DRIVE_INLINE Pair div(Pair x, Pair y) {
  return lanewise(x, y, [](double p, double q) { return p / q; });
}
DRIVE_INLINE Pair bitAnd(Pair x, Pair y) {
  return lanewise(x, y, [](double p, double q) { return fromBits(bitsOf(p) & bitsOf(q)); });
}
DRIVE_INLINE Pair bitXor(Pair x, Pair y) {
  return lanewise(x, y, [](double p, double q) { return fromBits(bitsOf(p) ^ bitsOf(q)); });
}
DRIVE_INLINE Pair lessThan(Pair x, Pair y) {
  return lanewise(x, y, [](double p, double q) { return fromBits(p < q ? ~std::uint64_t{0} : 0); });
}
DRIVE_INLINE bool bothLanes(Pair mask) { return bitsOf(mask.lane[0]) && bitsOf(mask.lane[1]); }
DRIVE_INLINE Pair magnitudeMask() { return splat(fromBits(~std::uint64_t{0} >> 1)); }
DRIVE_INLINE Pair roundToFloat(Pair v) {
  return Pair{{static_cast<double>(static_cast<float>(v.lane[0])),
               static_cast<double>(static_cast<float>(v.lane[1]))}};
}

DRIVE_INLINE Samples loadSamples(const float* left, const float* right, std::int32_t i) {
  return Samples{{left[i], right[i]}};
}
DRIVE_INLINE Samples splatGain(float g) { return Samples{{g, g}}; }
DRIVE_INLINE Pair scale(Samples s, Samples gain) {
  return Pair{{static_cast<double>(static_cast<float>(static_cast<double>(s.lane[0]) *
                                                      static_cast<double>(gain.lane[0]))),
               static_cast<double>(static_cast<float>(static_cast<double>(s.lane[1]) *
                                                      static_cast<double>(gain.lane[1])))}};
}

template <OutputMode kMode>
DRIVE_INLINE void writeMixes(const Pair* m, std::int32_t count, float* left, float* right) {
  for (std::int32_t i = 0; i < count; ++i) {
    if constexpr (kMode == OutputMode::replacing) {
      left[i] = static_cast<float>(m[i].lane[0]);
      right[i] = static_cast<float>(m[i].lane[1]);
    } else {
      left[i] = static_cast<float>(static_cast<double>(left[i]) + m[i].lane[0]);
      right[i] = static_cast<float>(static_cast<double>(right[i]) + m[i].lane[1]);
    }
  }
}

#endif

// ---- The algorithm, written once over pairs. ----

// Filter state of one band, both channels, as exact doubles of the stored floats.
struct BandState {
  Pair input;
  Pair output;
  Pair previousOutput;
};

struct State {
  BandState band1, band2, band3;
};

// What the records' previousInput fields become after the latest frame.
struct PreviousInputs {
  Pair band1, band2, band3;
};

// Per-block values.
struct Setup {
  Samples gain1, gain2, gain3;
  Pair p0, p1, p2, p3;
  Pair offset, one, magnitudeMask, finiteBound;
};

// Advances band j by one frame; returns the new output. kGuarded applies the non-finite reset
// (the new output is non-finite whenever x or an old state value is, so one test covers the
// record). previousInput is only wanted for the last frame of a chunk.
template <int j, bool kGuarded, bool kWantPreviousInput>
DRIVE_INLINE Pair advanceBand(BandState& s, const Setup& c, Pair x, Pair& previousInput) {
  constexpr BandConstants k = kBands[j];
  Pair acc = mul(sub(x, s.input), splat(k.a));
  acc = add(acc, mul(s.output, splat(k.b)));
  acc = sub(acc, s.previousOutput);
  acc = sub(div(acc, splat(k.c)), c.offset);
  const Pair y = roundToFloat(acc);
  if constexpr (kGuarded) {
    // Tested on the unrounded value, beside the rounding instead of after it.
    const Pair finite = lessThan(bitAnd(acc, c.magnitudeMask), c.finiteBound);
    if constexpr (kWantPreviousInput) {
      previousInput = bitAnd(s.input, finite);
    }
    s.input = bitAnd(x, finite);
    s.previousOutput = bitAnd(s.output, finite);
    s.output = bitAnd(y, finite);
  } else {
    if constexpr (kWantPreviousInput) {
      previousInput = s.input;
    }
    s.input = x;
    s.previousOutput = s.output;
    s.output = y;
  }
  return s.output;
}

// Soft clipper of band j. Flipping the magnitude bits of v into those of the bent value keeps
// v's sign; magnitudes up to t (and +-0) pass with their bits intact.
template <int j>
DRIVE_INLINE Pair clip(Pair v, const Setup& c) {
  constexpr BandConstants k = kBands[j];
  const Pair magnitude = bitAnd(v, c.magnitudeMask);
  const Pair over = lessThan(splat(k.threshold), magnitude);
  const Pair bent = roundToFloat(sub(c.one, div(c.one, add(magnitude, splat(k.knee)))));
  return bitXor(v, bitAnd(over, bitXor(bent, magnitude)));
}

// Runs `count` (>= 1) frames and leaves their unrounded mixes in mix[0..count).
template <bool kGuarded>
DRIVE_INLINE void runChunk(State& st, PreviousInputs& previous, const Setup& c,
                           const float* inLeft, const float* inRight, std::int32_t count,
                           Pair* mix) {
  Pair v1, v2, v3;  // band outputs of the frame waiting for its clippers
  const auto advance = [&]<bool kLast>(std::int32_t i) DRIVE_LAMBDA_INLINE {
    const Samples s = loadSamples(inLeft, inRight, i);
    v1 = advanceBand<0, kGuarded, kLast>(st.band1, c, scale(s, c.gain1), previous.band1);
    v2 = advanceBand<1, kGuarded, kLast>(st.band2, c, scale(s, c.gain2), previous.band2);
    v3 = advanceBand<2, kGuarded, kLast>(st.band3, c, scale(s, c.gain3), previous.band3);
  };
  const auto finish = [&](std::int32_t i, Pair u1, Pair u2, Pair u3) DRIVE_LAMBDA_INLINE {
    const Pair y1 = clip<0>(u1, c);
    const Pair y2 = clip<1>(u2, c);
    const Pair y3 = clip<2>(u3, c);
    mix[i] = mul(add(add(mul(c.p2, y3), mul(c.p1, y2)), mul(c.p0, y1)), c.p3);
  };
  const std::int32_t last = count - 1;
  if (last == 0) {
    advance.template operator()<true>(0);
  } else {
    advance.template operator()<false>(0);
    for (std::int32_t i = 1; i < last; ++i) {
      const Pair u1 = v1, u2 = v2, u3 = v3;
      advance.template operator()<false>(i);
      finish(i - 1, u1, u2, u3);
    }
    const Pair u1 = v1, u2 = v2, u3 = v3;
    advance.template operator()<true>(last);
    finish(last - 1, u1, u2, u3);
  }
  finish(last, v1, v2, v3);
}

DRIVE_INLINE bool allOutputsFinite(const State& st, const Setup& c) {
  const auto finite = [&](Pair v) {
    return lessThan(bitAnd(v, c.magnitudeMask), c.finiteBound);
  };
  return bothLanes(bitAnd(bitAnd(finite(st.band1.output), finite(st.band2.output)),
                          finite(st.band3.output)));
}

DRIVE_NOINLINE void runChunkGuarded(State& st, PreviousInputs& previous, const Setup& c,
                                    const float* inLeft, const float* inRight,
                                    std::int32_t count, Pair* mix) {
  runChunk<true>(st, previous, c, inLeft, inRight, count, mix);
}

BandState loadBand(const BandFilter& l, const BandFilter& r) {
  return BandState{makePair(l.input, r.input), makePair(l.output, r.output),
                   makePair(l.previousOutput, r.previousOutput)};
}

void storeBand(const BandState& s, Pair previousInput, BandFilter& l, BandFilter& r) {
  l = BandFilter{leftFloat(s.input), leftFloat(previousInput), leftFloat(s.output),
                 leftFloat(s.previousOutput)};
  r = BandFilter{rightFloat(s.input), rightFloat(previousInput), rightFloat(s.output),
                 rightFloat(s.previousOutput)};
}

template <OutputMode kMode>
void runBlock(const Setup& c, BandFilter* filters, const float* inLeft, const float* inRight,
              float* outLeft, float* outRight, std::int32_t sampleFrames) noexcept {
  // The state lives in registers for the block and is written back once.
  State st{loadBand(filters[kBand1Left], filters[kBand1Right]),
           loadBand(filters[kBand2Left], filters[kBand2Right]),
           loadBand(filters[kBand3Left], filters[kBand3Right])};
  PreviousInputs previous;
  Pair mix[kChunkFrames];
  for (std::int32_t start = 0; start < sampleFrames; start += kChunkFrames) {
    const std::int32_t count =
        sampleFrames - start < kChunkFrames ? sampleFrames - start : kChunkFrames;
    const State saved = st;
    runChunk<false>(st, previous, c, inLeft + start, inRight + start, count, mix);
    if (DRIVE_UNLIKELY(!allOutputsFinite(st, c))) {
      st = saved;
      runChunkGuarded(st, previous, c, inLeft + start, inRight + start, count, mix);
    }
    writeMixes<kMode>(mix, count, outLeft + start, outRight + start);
  }
  storeBand(st.band1, previous.band1, filters[kBand1Left], filters[kBand1Right]);
  storeBand(st.band2, previous.band2, filters[kBand2Left], filters[kBand2Right]);
  storeBand(st.band3, previous.band3, filters[kBand3Left], filters[kBand3Right]);
}

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
  const float p[4] = {parameters[0], parameters[1], parameters[2], parameters[3]};
  const auto gain = [&](int j) {
    return splatGain(static_cast<float>(static_cast<double>(p[j]) *
                                        static_cast<double>(kBands[j].gainFactor)));
  };
  const Setup c{gain(0),
                gain(1),
                gain(2),
                splat(static_cast<double>(p[0])),
                splat(static_cast<double>(p[1])),
                splat(static_cast<double>(p[2])),
                splat(static_cast<double>(p[3])),
                splat(kOffset),
                splat(1.0),
                magnitudeMask(),
                splat(kFiniteFloatBound)};
  if (mode == OutputMode::replacing) {
    runBlock<OutputMode::replacing>(c, filters, inLeft, inRight, outLeft, outRight, sampleFrames);
  } else {
    runBlock<OutputMode::accumulating>(c, filters, inLeft, inRight, outLeft, outRight,
                                       sampleFrames);
  }
}
