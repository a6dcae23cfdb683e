// The lanes the fast step's kernels compute in: doubles and floats several to a register,
// their loads, stores, roundings and roots, the weights and neighbours of a block of points,
// and the test that new values stay in range. Included by step_kernels.cpp alone, which is
// compiled once per instruction set: everything here has internal linkage, and the register
// width follows the target options of that copy.
#pragma once

#include "step_constants.h"
#include "step_kernels.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace orvik {
namespace {

// Register width: eight doubles with AVX-512, four with AVX, two otherwise.
#if defined(__AVX512F__)
constexpr int kLanes = 8;
#elif defined(__AVX__)
constexpr int kLanes = 4;
#else
constexpr int kLanes = 2;
#endif

typedef double Doubles __attribute__((vector_size(kLanes * sizeof(double))));
typedef float Floats __attribute__((vector_size(kLanes * sizeof(float))));
typedef std::int64_t Mask __attribute__((vector_size(kLanes * sizeof(std::int64_t))));

// v in every lane. (A loop over the lanes comes out as one masked broadcast per lane.)
inline Doubles splat(double v) {
#if defined(__AVX512F__)
    return reinterpret_cast<Doubles>(_mm512_set1_pd(v));
#elif defined(__AVX__)
    return reinterpret_cast<Doubles>(_mm256_set1_pd(v));
#elif defined(__SSE2__)
    return reinterpret_cast<Doubles>(_mm_set1_pd(v));
#else
    Doubles out;
    for (int lane = 0; lane < kLanes; ++lane)
        out[lane] = v;
    return out;
#endif
}

// The lanes starting at p, wherever p is aligned.
template <typename Lanes, typename T>
inline Lanes loadLanes(const T* p) {
    Lanes v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline Doubles load(const double* p) {
    return loadLanes<Doubles>(p);
}

inline void store(double* p, Doubles v) {
    std::memcpy(p, &v, sizeof v);
}

// Lanes holding floats as floats, and back. The square root and the quotient of floats
// taken in float give the same bits as taken in double and rounded to float: a double
// carries more than twice a float's digits plus two, so the double rounding is harmless.
// They cost less in float, and the float register holds all the lanes of a double one.
#if defined(__AVX512F__)
typedef __m256 FloatLanes;
inline FloatLanes narrow(Doubles v) {
    return _mm512_maskz_cvtpd_ps(0xff, reinterpret_cast<__m512d>(v));
}
inline Doubles widen(FloatLanes v) {
    return reinterpret_cast<Doubles>(_mm512_maskz_cvtps_pd(0xff, v));
}
#elif defined(__AVX__)
typedef __m128 FloatLanes;
inline FloatLanes narrow(Doubles v) {
    return _mm256_cvtpd_ps(reinterpret_cast<__m256d>(v));
}
inline Doubles widen(FloatLanes v) {
    return reinterpret_cast<Doubles>(_mm256_cvtps_pd(v));
}
#else
typedef Floats FloatLanes;
inline FloatLanes narrow(Doubles v) {
    return __builtin_convertvector(v, Floats);
}
inline Doubles widen(FloatLanes v) {
    return __builtin_convertvector(v, Doubles);
}
#endif

// The value a float store keeps, widened back: what the scalar code reads after storing.
// With two lanes the generic conversions come out as conversions of halves and shuffles, so
// the processor's own are written out there.
inline Doubles roundToFloat(Doubles v) {
#if defined(__SSE2__) && !defined(__AVX__)
    return reinterpret_cast<Doubles>(_mm_cvtps_pd(_mm_cvtpd_ps(reinterpret_cast<__m128d>(v))));
#else
    return widen(narrow(v));
#endif
}

// Lane by lane: mask ? a : b.
inline Doubles select(Mask mask, Doubles a, Doubles b) {
    Mask ia, ib;
    std::memcpy(&ia, &a, sizeof a);
    std::memcpy(&ib, &b, sizeof b);
    const Mask picked = (mask & ia) | (~mask & ib);
    Doubles out;
    std::memcpy(&out, &picked, sizeof out);
    return out;
}

// The correctly rounded square root of each lane.
inline Doubles squareRoot(Doubles v) {
#if defined(__AVX512F__)
    // The masked form with every lane on: the plain one trips GCC 12's uninitialised-value
    // warning inside the intrinsic.
    return reinterpret_cast<Doubles>(_mm512_maskz_sqrt_pd(0xff, reinterpret_cast<__m512d>(v)));
#elif defined(__AVX__)
    return reinterpret_cast<Doubles>(_mm256_sqrt_pd(reinterpret_cast<__m256d>(v)));
#elif defined(__SSE2__)
    return reinterpret_cast<Doubles>(_mm_sqrt_pd(reinterpret_cast<__m128d>(v)));
#else
    Doubles out;
    for (int lane = 0; lane < kLanes; ++lane)
        out[lane] = __builtin_sqrt(v[lane]);
    return out;
#endif
}

inline FloatLanes loadFloats(const float* p) {
    return loadLanes<FloatLanes>(p);
}

inline void storeFloats(float* p, FloatLanes v) {
    std::memcpy(p, &v, sizeof v);
}

// The correctly rounded float square root of each lane.
inline FloatLanes floatRoot(FloatLanes v) {
#if defined(__AVX512F__)
    return _mm256_sqrt_ps(v);
#elif defined(__AVX__)
    return _mm_sqrt_ps(v);
#else
    FloatLanes out;
    for (int lane = 0; lane < kLanes; ++lane)
        out[lane] = __builtin_sqrtf(v[lane]);
    return out;
#endif
}

// Twice the tension times the second difference.
inline Doubles tensionTerm(Doubles prev, Doubles now, Doubles next, Doubles tension) {
    return roundToFloat(((prev + next) * 2.0 - 4.0 * now) * tension);
}

// Minus twice the rigidity times the fourth difference.
inline Doubles rigidityTerm(Doubles prev2, Doubles prev, Doubles now, Doubles next, Doubles next2,
                            Doubles rigidity) {
    return roundToFloat(((prev + next) * 8.0 - (prev2 + next2) * 2.0 - 12.0 * now) * rigidity);
}

// The weights as lanes, made once per kernel call.
struct Weights {
    Doubles tension, rigidity, radius, formWeight, centerX, centerY, inertia, viscosity, damping,
        radiusSquared;

    explicit Weights(const KernelWeights& w)
        : tension(splat(w.tension)), rigidity(splat(w.rigidity)), radius(splat(w.radius)),
          formWeight(splat(w.formWeight)), centerX(splat(w.centerX)), centerY(splat(w.centerY)),
          inertia(splat(w.inertia)), viscosity(splat(w.viscosity)), damping(splat(w.damping)),
          radiusSquared(splat(w.radiusSquared)) {}

    // Solves inertia·(new − 2·now + older) + viscosity·(new − now) = force for new.
    Doubles integrate(Doubles now, Doubles older, Doubles force) const {
        return roundToFloat(((2.0 * now - older) * inertia + viscosity * now + force) / damping);
    }
};

// The five neighbours of the lanes starting at row index j along one row.
struct Neighbours {
    Doubles prev2, prev, now, next, next2;
    Neighbours(const double* row, std::int32_t j)
        : prev2(load(row + j - 2)), prev(load(row + j - 1)), now(load(row + j)),
          next(load(row + j + 1)), next2(load(row + j + 2)) {}
};

// The point index of each lane of the block starting at row index j.
inline Doubles pointIndices(std::int32_t j) {
    Doubles index;
    for (int lane = 0; lane < kLanes; ++lane)
        index[lane] = lane;
    return index + static_cast<double>(j - kGhosts);
}

// Collects, over the blocks of one kernel call, whether a new value of a point first ..
// last − 1 lies beyond ±kKernelLimit or is a NaN. The lanes past the last point compute on
// whatever the rows hold there and are left out.
class RangeTest {
public:
    explicit RangeTest(std::int32_t last) : last_(static_cast<double>(last)) {}

    void add(std::int32_t j, Doubles value) {
        const Doubles limit = splat(kKernelLimit);
        const Mask inside = (value >= -limit) & (value <= limit);
        outside_ |= (pointIndices(j) < last_) & ~inside;
    }

    bool allInside() const {
        std::int64_t any = 0;
        for (int lane = 0; lane < kLanes; ++lane)
            any |= outside_[lane];
        return any == 0;
    }

private:
    double last_;
    Mask outside_{};
};

} // namespace
} // namespace orvik
