// The two lane types the kernel in drive_kernel.h is written over. Lane 0 is the left channel,
// lane 1 the right. Pair holds two doubles, Samples two floats (one input sample per channel).
// Besides IEEE arithmetic, lanes provide bit operations on doubles (masks are all-ones or
// all-zero lanes), rounding to float, and the loads and stores of float samples the kernel needs.
//
// Every operation gives the same bits in both types, so the kernel gives the same bytes over
// either; tests/native/drive_dsp_test.cpp holds them to that. The one freedom left is which NaN
// an operation on two NaNs passes on: compilers swap the operands of additions and
// multiplications in both types. The kernel only meets two NaNs in the mix of non-finite
// parameters.
#pragma once

#include <bit>
#include <cstdint>

#include "effect/drive_inline.h"

// Every target we build for has SSE2 (x86-64; 32-bit x86 with -msse2 -mfpmath=sse), and the
// product runs Sse2Lanes alone. The plain lanes are the tests' reference, not a fallback: as the
// product they would need what drive_dsp_plain.cpp gets (no SLP vectorizer) and a test run that
// nothing here does, so a target without SSE2 stops the build instead.
#if !defined(__SSE2__)
#error "the drive kernel needs SSE2: x86-64, or 32-bit x86 with -msse2 -mfpmath=sse"
#endif
#include <emmintrin.h>

namespace drive_kernel {

// Plain C++: two doubles, two floats. Every function is the C++ expression it stands for.
struct PlainLanes {
  struct Pair {
    double lane[2];
  };
  struct Samples {
    float lane[2];
  };

  static DRIVE_INLINE Pair splat(double v) { return Pair{{v, v}}; }
  static DRIVE_INLINE Pair makePair(float left, float right) {
    return Pair{{static_cast<double>(left), static_cast<double>(right)}};
  }
  static DRIVE_INLINE float leftFloat(Pair v) { return static_cast<float>(v.lane[0]); }
  static DRIVE_INLINE float rightFloat(Pair v) { return static_cast<float>(v.lane[1]); }
  static DRIVE_INLINE Pair add(Pair x, Pair y) {
    return Pair{{x.lane[0] + y.lane[0], x.lane[1] + y.lane[1]}};
  }
  static DRIVE_INLINE Pair sub(Pair x, Pair y) {
    return Pair{{x.lane[0] - y.lane[0], x.lane[1] - y.lane[1]}};
  }
  static DRIVE_INLINE Pair mul(Pair x, Pair y) {
    return Pair{{x.lane[0] * y.lane[0], x.lane[1] * y.lane[1]}};
  }
  static DRIVE_INLINE Pair div(Pair x, Pair y) {
    return Pair{{x.lane[0] / y.lane[0], x.lane[1] / y.lane[1]}};
  }
  static DRIVE_INLINE Pair bitAnd(Pair x, Pair y) {
    return Pair{
        {fromBits(bits(x.lane[0]) & bits(y.lane[0])), fromBits(bits(x.lane[1]) & bits(y.lane[1]))}};
  }
  static DRIVE_INLINE Pair bitXor(Pair x, Pair y) {
    return Pair{
        {fromBits(bits(x.lane[0]) ^ bits(y.lane[0])), fromBits(bits(x.lane[1]) ^ bits(y.lane[1]))}};
  }
  // All-ones lanes where x < y; false for NaN.
  static DRIVE_INLINE Pair lessThan(Pair x, Pair y) {
    return Pair{{fromBits(x.lane[0] < y.lane[0] ? ~std::uint64_t{0} : 0),
                 fromBits(x.lane[1] < y.lane[1] ? ~std::uint64_t{0} : 0)}};
  }
  // Whether both lanes have their sign bit set, as both lanes of a mask do.
  static DRIVE_INLINE bool bothLanes(Pair mask) {
    return (bits(mask.lane[0]) >> 63) != 0 && (bits(mask.lane[1]) >> 63) != 0;
  }
  static DRIVE_INLINE Pair magnitudeMask() {
    const double m = fromBits(UINT64_C(0x7fffffffffffffff));
    return Pair{{m, m}};
  }
  static DRIVE_INLINE Pair roundToFloat(Pair v) {
    return makePair(static_cast<float>(v.lane[0]), static_cast<float>(v.lane[1]));
  }
  static DRIVE_INLINE Pair lowLanes(Pair x, Pair y) { return Pair{{x.lane[0], y.lane[0]}}; }
  static DRIVE_INLINE Pair highLanes(Pair x, Pair y) { return Pair{{x.lane[1], y.lane[1]}}; }
  // Lane 0 of x + y; lane 1 of x.
  static DRIVE_INLINE Pair addFirst(Pair x, Pair y) {
    return Pair{{x.lane[0] + y.lane[0], x.lane[1]}};
  }

  static DRIVE_INLINE Samples splatSamples(float v) { return Samples{{v, v}}; }
  static DRIVE_INLINE Samples loadSamples(const float* left, const float* right, std::int32_t i) {
    return Samples{{left[i], right[i]}};
  }
  static DRIVE_INLINE Pair widen(Samples s) { return makePair(s.lane[0], s.lane[1]); }
  // The float product of sample and gain (floats held as doubles), as a double.
  static DRIVE_INLINE Pair floatProduct(Pair sample, Pair gain) {
    return roundToFloat(mul(sample, gain));
  }
  // The same from the floats themselves.
  static DRIVE_INLINE Pair floatProductNormal(Samples s, Samples gain) {
    return makePair(s.lane[0] * gain.lane[0], s.lane[1] * gain.lane[1]);
  }

  // Two consecutive floats widened into lanes 0 and 1, and stored back rounded.
  static DRIVE_INLINE Pair loadTwo(const float* p) { return makePair(p[0], p[1]); }
  static DRIVE_INLINE void storeTwo(float* p, Pair v) {
    p[0] = static_cast<float>(v.lane[0]);
    p[1] = static_cast<float>(v.lane[1]);
  }
  // One float into lane 0 (lane 1 zero), and lane 0 stored back rounded.
  static DRIVE_INLINE Pair loadOne(const float* p) { return makePair(*p, 0.0f); }
  static DRIVE_INLINE void storeOne(float* p, Pair v) { *p = static_cast<float>(v.lane[0]); }

  // Whether any of the count samples of either channel is non-zero with a magnitude whose bits
  // are below bound.
  static bool anyNearSubnormal(std::int32_t bound, const float* left, const float* right,
                               std::int32_t count) {
    bool found = false;
    for (std::int32_t i = 0; i < count; ++i) {
      for (const float v : {left[i], right[i]}) {
        const auto magnitude =
            static_cast<std::int32_t>(std::bit_cast<std::uint32_t>(v) & UINT32_C(0x7fffffff));
        found = found || (magnitude > 0 && magnitude < bound);
      }
    }
    return found;
  }

 private:
  static DRIVE_INLINE std::uint64_t bits(double v) { return std::bit_cast<std::uint64_t>(v); }
  static DRIVE_INLINE double fromBits(std::uint64_t b) { return std::bit_cast<double>(b); }
};

// SSE2: one __m128d per Pair, the two low floats of an __m128 per Samples.
struct Sse2Lanes {
  using Pair = __m128d;
  using Samples = __m128;

  static DRIVE_INLINE Pair splat(double v) { return _mm_set1_pd(v); }
  static DRIVE_INLINE Pair makePair(float left, float right) {
    return _mm_set_pd(static_cast<double>(right), static_cast<double>(left));
  }
  static DRIVE_INLINE float leftFloat(Pair v) { return static_cast<float>(_mm_cvtsd_f64(v)); }
  static DRIVE_INLINE float rightFloat(Pair v) {
    return static_cast<float>(_mm_cvtsd_f64(_mm_unpackhi_pd(v, v)));
  }
  static DRIVE_INLINE Pair add(Pair x, Pair y) { return _mm_add_pd(x, y); }
  static DRIVE_INLINE Pair sub(Pair x, Pair y) { return _mm_sub_pd(x, y); }
  static DRIVE_INLINE Pair mul(Pair x, Pair y) { return _mm_mul_pd(x, y); }
  static DRIVE_INLINE Pair div(Pair x, Pair y) { return _mm_div_pd(x, y); }
  static DRIVE_INLINE Pair bitAnd(Pair x, Pair y) { return _mm_and_pd(x, y); }
  static DRIVE_INLINE Pair bitXor(Pair x, Pair y) { return _mm_xor_pd(x, y); }
  static DRIVE_INLINE Pair lessThan(Pair x, Pair y) { return _mm_cmplt_pd(x, y); }
  static DRIVE_INLINE bool bothLanes(Pair mask) { return _mm_movemask_pd(mask) == 3; }
  static DRIVE_INLINE Pair magnitudeMask() {
    return _mm_castsi128_pd(_mm_set1_epi64x(INT64_C(0x7fffffffffffffff)));
  }
  static DRIVE_INLINE Pair roundToFloat(Pair v) { return _mm_cvtps_pd(_mm_cvtpd_ps(v)); }
  static DRIVE_INLINE Pair lowLanes(Pair x, Pair y) { return _mm_unpacklo_pd(x, y); }
  static DRIVE_INLINE Pair highLanes(Pair x, Pair y) { return _mm_unpackhi_pd(x, y); }
  static DRIVE_INLINE Pair addFirst(Pair x, Pair y) { return _mm_add_sd(x, y); }

  static DRIVE_INLINE Samples splatSamples(float v) { return _mm_set1_ps(v); }
  static DRIVE_INLINE Samples loadSamples(const float* left, const float* right, std::int32_t i) {
    return _mm_unpacklo_ps(_mm_load_ss(left + i), _mm_load_ss(right + i));
  }

  // Subnormal floats cost a microcode assist per instruction that reads or produces one (tens
  // of cycles on common x86 cores), which would make quiet, denormal-range input several times
  // slower than music. widen and floatProduct therefore never let a float instruction see a
  // subnormal, with results identical to the plain conversions; the kernel uses them for chunks
  // that come near that range, and floatProductNormal for all others.

  // Each sample widened to double exactly. Lanes with a zero exponent field (zero or subnormal)
  // are built from their integer mantissa instead of being converted.
  static DRIVE_INLINE Pair widen(Samples s) {
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

  // The float product of a sample and a gain, as a double: their exact double product rounded
  // to float, as a float multiplication gives it. Products below the smallest normal float are
  // rounded onto the subnormal grid (multiples of 2^-149, ties to even) by adding and removing a
  // constant whose last bit is worth 2^-149; the sign is put back for results that round to zero.
  static DRIVE_INLINE Pair floatProduct(Pair sample, Pair gain) {
    const Pair product = mul(sample, gain);  // exact: 24-bit by 24-bit significands
    const Pair magnitude = bitAnd(product, magnitudeMask());
    const Pair subnormal = lessThan(magnitude, splat(0x1p-126));
    const Pair normal = roundToFloat(_mm_andnot_pd(subnormal, product));
    const Pair grid = splat(0x1.8p-97);
    const Pair onGrid =
        _mm_or_pd(sub(add(product, grid), grid), _mm_andnot_pd(magnitudeMask(), product));
    return _mm_or_pd(_mm_and_pd(subnormal, onGrid), _mm_andnot_pd(subnormal, normal));
  }

  // Only for chunks in which neither the samples nor their products come near the subnormal
  // range: the float product of two floats equals their exact double product rounded to float.
  static DRIVE_INLINE Pair floatProductNormal(Samples s, Samples gain) {
    return _mm_cvtps_pd(_mm_mul_ps(s, gain));
  }

  static DRIVE_INLINE Pair loadTwo(const float* p) {
    return _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))));
  }
  static DRIVE_INLINE void storeTwo(float* p, Pair v) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_castps_si128(_mm_cvtpd_ps(v)));
  }
  static DRIVE_INLINE Pair loadOne(const float* p) { return _mm_cvtps_pd(_mm_load_ss(p)); }
  static DRIVE_INLINE void storeOne(float* p, Pair v) { _mm_store_ss(p, _mm_cvtpd_ps(v)); }

  static DRIVE_INLINE bool anyNearSubnormal(std::int32_t smallestNormal, const float* left,
                                            const float* right, std::int32_t count) {
    const __m128i magnitudeBits = _mm_set1_epi32(0x7fffffff);
    const __m128i bound = _mm_set1_epi32(smallestNormal);
    const __m128i zero = _mm_setzero_si128();
    __m128i found = zero;
    const auto check = [&](__m128i bits) DRIVE_LAMBDA_INLINE {
      const __m128i magnitude = _mm_and_si128(bits, magnitudeBits);
      found = _mm_or_si128(found, _mm_and_si128(_mm_cmpgt_epi32(magnitude, zero),
                                                _mm_cmpgt_epi32(bound, magnitude)));
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
};

}  // namespace drive_kernel
