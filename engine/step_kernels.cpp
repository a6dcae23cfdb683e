// The fast step's per-point arithmetic, several points to a register. Compiled once per
// instruction set: ORVIK_KERNEL_SET names the set this copy defines, and the compiler's
// target options decide the register width. Everything but that set has internal linkage,
// so the copies cannot stand in for one another.
//
// Each function mirrors one model's formulas in reference_steps.cpp lane by lane: the same IEEE
// operations on doubles in the same order, every named intermediate rounded to float
// (roundToFloat) where the scalar code stores a float. A single operation on two floats whose
// result is stored as a float runs in float instead, which gives the same bits (see narrow
// and widen). Nothing is fused (-ffp-contract=off) and the compiler's own vectorisers are
// off for this file, so what runs is what is written. The picture is read here too, where
// the processor can gather it.
#include "step_kernels.h"

#include "step_constants.h"
#include "step_lanes.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#ifndef ORVIK_KERNEL_SET
#error "ORVIK_KERNEL_SET names the kernel set this copy defines"
#endif

namespace orvik {
namespace {

void centerPositions(KernelRows& rows, const KernelWeights& w, KernelLevels levels,
                     std::int32_t first, std::int32_t last) {
    const Doubles centerX = splat(w.centerX);
    const Doubles centerY = splat(w.centerY);
    const double* radii = rows.x[levels.current];
    for (std::int32_t j = first + kGhosts; j < last + kGhosts; j += kLanes) {
        const Doubles r = load(radii + j);
        store(rows.px + j, roundToFloat(r * load(rows.cosTheta + j) + centerX));
        store(rows.py + j, roundToFloat(r * load(rows.sinTheta + j) + centerY));
    }
}

bool centerForces(KernelRows& rows, const KernelWeights& w, KernelLevels levels, std::int32_t first,
                  std::int32_t last) {
    const Weights k(w);
    const Doubles floor = splat(static_cast<double>(kFloor));
    const Doubles maxRadius = splat(static_cast<double>(kMaxRadius));
    const double* radii = rows.x[levels.current];
    RangeTest range(last);
    for (std::int32_t j = first + kGhosts; j < last + kGhosts; j += kLanes) {
        const Neighbours r(radii, j);
        const Doubles cosTheta = load(rows.cosTheta + j);
        const Doubles sinTheta = load(rows.sinTheta + j);
        const Doubles image = load(rows.pressure + j);
        const Doubles tension = tensionTerm(r.prev, r.now, r.next, k.tension);
        const Doubles rigidity = rigidityTerm(r.prev2, r.prev, r.now, r.next, r.next2, k.rigidity);
        const Doubles edge =
            roundToFloat(load(rows.edgeX + j) * cosTheta + load(rows.edgeY + j) * sinTheta);
        const Doubles divisor = select(r.now > floor, r.now, floor);
        const Doubles toRadius = k.radiusSquared / divisor;
        const Doubles fromRadius = r.now * r.now / k.radius;
        const Doubles shape = roundToFloat((toRadius - fromRadius) * k.formWeight);
        const Doubles force = roundToFloat(image + tension + rigidity + shape + edge);
        Doubles next = k.integrate(r.now, load(rows.x[levels.older] + j), force);
        next = select(next > maxRadius, maxRadius, select(next < floor, floor, next));
        store(rows.x[levels.fresh] + j, next);
        store(rows.energy + j, force * force);
        range.add(j, next);
    }
    return range.allInside();
}

void standardRadials(KernelRows& rows, const KernelWeights& w, KernelLevels levels,
                     std::int32_t first, std::int32_t last) {
    // The centre, the coordinates and the floor are floats; so are the differences, the root
    // and the quotients, each a single operation on floats.
    const FloatLanes centerX = narrow(splat(w.centerX));
    const FloatLanes centerY = narrow(splat(w.centerY));
    const FloatLanes floor = narrow(splat(static_cast<double>(kFloor)));
    const double* xs = rows.x[levels.current];
    const double* ys = rows.y[levels.current];
    for (std::int32_t j = first + kGhosts; j < last + kGhosts; j += kLanes) {
        const FloatLanes dx = narrow(load(xs + j)) - centerX;
        const FloatLanes dy = narrow(load(ys + j)) - centerY;
        const Doubles wideX = widen(dx);
        const Doubles wideY = widen(dy);
        const FloatLanes q = narrow(wideX * wideX + wideY * wideY);
        FloatLanes d = floatRoot(q);
        d = d < floor ? floor : d;
        store(rows.q + j, widen(q));
        store(rows.d + j, widen(d));
        storeFloats(rows.ux + j, dx / d);
        storeFloats(rows.uy + j, dy / d);
    }
}

bool standardForces(KernelRows& rows, const KernelWeights& w, KernelLevels levels,
                    std::int32_t first, std::int32_t last) {
    const Weights k(w);
    RangeTest range(last);
    for (std::int32_t j = first + kGhosts; j < last + kGhosts; j += kLanes) {
        const Neighbours x(rows.x[levels.current], j);
        // Products of two floats, taken in float: the same bits as in double rounded to float.
        const FloatLanes ux = loadFloats(rows.ux + j);
        const FloatLanes uy = loadFloats(rows.uy + j);
        const FloatLanes e = narrow(load(rows.pressure + j));
        const Doubles imageX = widen(ux * e);
        const Doubles imageY = widen(uy * e);
        const Doubles tensionX = tensionTerm(x.prev, x.now, x.next, k.tension);
        const Doubles rigidityX = rigidityTerm(x.prev2, x.prev, x.now, x.next, x.next2, k.rigidity);
        const Neighbours y(rows.y[levels.current], j);
        const Doubles tensionY = tensionTerm(y.prev, y.now, y.next, k.tension);
        const Doubles rigidityY = rigidityTerm(y.prev2, y.prev, y.now, y.next, y.next2, k.rigidity);
        const Doubles toRadius = k.radiusSquared / load(rows.d + j);
        const Doubles fromRadius = load(rows.q + j) / k.radius;
        const FloatLanes shape = narrow((toRadius - fromRadius) * k.formWeight);
        const Doubles shapeX = widen(ux * shape);
        const Doubles shapeY = widen(uy * shape);
        const Doubles fx =
            roundToFloat(imageX + tensionX + rigidityX + shapeX + load(rows.edgeX + j));
        const Doubles fy =
            roundToFloat(imageY + tensionY + rigidityY + shapeY + load(rows.edgeY + j));
        const Doubles newX = k.integrate(x.now, load(rows.x[levels.older] + j), fx);
        const Doubles newY = k.integrate(y.now, load(rows.y[levels.older] + j), fy);
        store(rows.x[levels.fresh] + j, newX);
        store(rows.y[levels.fresh] + j, newY);
        store(rows.energy + j, fx * fx + fy * fy);
        range.add(j, newX);
        range.add(j, newY);
    }
    return range.allInside();
}

bool balloonForces(KernelRows& rows, const KernelWeights& w, KernelLevels levels,
                   std::int32_t first, std::int32_t last) {
    const Weights k(w);
    const Doubles floor = splat(static_cast<double>(kFloor));
    RangeTest range(last);
    for (std::int32_t j = first + kGhosts; j < last + kGhosts; j += kLanes) {
        const Neighbours x(rows.x[levels.current], j);
        const Neighbours y(rows.y[levels.current], j);
        // The chord between the neighbours turned a quarter: the outward normal.
        const Doubles chordY = y.prev - y.next;
        const Doubles chordX = x.next - x.prev;
        Doubles l = roundToFloat(squareRoot(chordY * chordY + chordX * chordX));
        l = select(l < floor, floor, l);
        const FloatLanes nx = narrow(chordY / l);
        const FloatLanes ny = narrow(chordX / l);
        // Products of two floats, taken in float: the same bits as in double rounded to float.
        const FloatLanes e = narrow(load(rows.pressure + j));
        const Doubles imageX = widen(nx * e);
        const Doubles imageY = widen(ny * e);
        const Doubles tensionX = tensionTerm(x.prev, x.now, x.next, k.tension);
        const Doubles tensionY = tensionTerm(y.prev, y.now, y.next, k.tension);
        const Doubles rigidityX = rigidityTerm(x.prev2, x.prev, x.now, x.next, x.next2, k.rigidity);
        const Doubles rigidityY = rigidityTerm(y.prev2, y.prev, y.now, y.next, y.next2, k.rigidity);
        const Doubles fx = roundToFloat(imageX + tensionX + rigidityX + load(rows.edgeX + j));
        const Doubles fy = roundToFloat(imageY + tensionY + rigidityY + load(rows.edgeY + j));
        const Doubles newX = k.integrate(x.now, load(rows.x[levels.older] + j), fx);
        const Doubles newY = k.integrate(y.now, load(rows.y[levels.older] + j), fy);
        store(rows.x[levels.fresh] + j, newX);
        store(rows.y[levels.fresh] + j, newY);
        store(rows.energy + j, fx * fx + fy * fy);
        range.add(j, newX);
        range.add(j, newY);
    }
    return range.allInside();
}

bool openedForces(KernelRows& rows, const KernelWeights& w, KernelLevels levels, std::int32_t first,
                  std::int32_t last, std::int32_t n) {
    const Weights k(w);
    const Doubles zero = splat(0.0);
    const Doubles edgeScale = splat(kEdgeScale);
    RangeTest range(last);
    for (std::int32_t j = first + kGhosts; j < last + kGhosts; j += kLanes) {
        const Neighbours x(rows.x[levels.current], j);
        const Neighbours y(rows.y[levels.current], j);
        const Doubles tensionX = tensionTerm(x.prev, x.now, x.next, k.tension);
        const Doubles tensionY = tensionTerm(y.prev, y.now, y.next, k.tension);
        // The first and the last movable point lack a second neighbour: no rigidity there,
        // a float zero in its place.
        const Doubles i = pointIndices(j);
        const Mask inner = (i >= 2.0) & (i <= static_cast<double>(n - 3));
        const Doubles rigidityX =
            select(inner, rigidityTerm(x.prev2, x.prev, x.now, x.next, x.next2, k.rigidity), zero);
        const Doubles rigidityY =
            select(inner, rigidityTerm(y.prev2, y.prev, y.now, y.next, y.next2, k.rigidity), zero);
        const Doubles e = load(rows.pressure + j);
        const Doubles imageX = roundToFloat(load(rows.gradX + j) * e * edgeScale);
        const Doubles imageY = roundToFloat(load(rows.gradY + j) * e * edgeScale);
        const Doubles fx = roundToFloat(imageX + tensionX + rigidityX + load(rows.edgeX + j));
        const Doubles fy = roundToFloat(imageY + tensionY + rigidityY + load(rows.edgeY + j));
        const Doubles newX = k.integrate(x.now, load(rows.x[levels.older] + j), fx);
        const Doubles newY = k.integrate(y.now, load(rows.y[levels.older] + j), fy);
        store(rows.x[levels.fresh] + j, newX);
        store(rows.y[levels.fresh] + j, newY);
        store(rows.energy + j, fx * fx + fy * fy);
        range.add(j, newX);
        range.add(j, newY);
    }
    return range.allInside();
}

#if defined(__AVX2__)
typedef std::int32_t Ints __attribute__((vector_size(kLanes * sizeof(std::int32_t))));
typedef std::uint32_t Unsigneds __attribute__((vector_size(kLanes * sizeof(std::uint32_t))));

// The four bytes at grey + offset for the lanes whose mask is set, zero in the others: the
// processor reads the picture for all lanes at once.
inline Unsigneds gather(const std::uint8_t* grey, Ints offset, Ints mask) {
    const auto* base = reinterpret_cast<const int*>(grey);
#if defined(__AVX512F__)
    return reinterpret_cast<Unsigneds>(
        _mm256_mask_i32gather_epi32(_mm256_setzero_si256(), base, reinterpret_cast<__m256i>(offset),
                                    reinterpret_cast<__m256i>(mask), 1));
#else
    return reinterpret_cast<Unsigneds>(
        _mm_mask_i32gather_epi32(_mm_setzero_si128(), base, reinterpret_cast<__m128i>(offset),
                                 reinterpret_cast<__m128i>(mask), 1));
#endif
}

// Bit i set when lane i of the mask is.
inline std::uint32_t laneBits(Ints mask) {
#if defined(__AVX512F__)
    return static_cast<std::uint32_t>(_mm256_movemask_ps(reinterpret_cast<__m256>(mask)));
#else
    return static_cast<std::uint32_t>(_mm_movemask_ps(reinterpret_cast<__m128>(mask)));
#endif
}

// Appends the row index j + i of each lane i set in `lanes` to list[count ..], and returns
// the new count. The list has room for a whole block past its end. Without a branch per
// lane: which lanes are set changes from block to block and from step to step.
inline std::int32_t listLanes(std::uint32_t lanes, std::int32_t j, std::int32_t* list,
                              std::int32_t count) {
#if defined(__AVX512F__)
    const __m256i indices =
        _mm256_add_epi32(_mm256_set1_epi32(j), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(list + count),
                        _mm256_maskz_compress_epi32(static_cast<__mmask8>(lanes), indices));
    return count + __builtin_popcount(lanes);
#else
    for (int lane = 0; lane < kLanes; ++lane) {
        list[count] = j + lane;
        count += static_cast<std::int32_t>(lanes >> lane & 1u);
    }
    return count;
#endif
}
#endif

void picturePressure(KernelRows& rows, const KernelPicture& picture, const double* xs,
                     const double* ys, std::int32_t first, std::int32_t last) {
#if defined(__AVX2__)
    const Doubles threshold = splat(picture.threshold);
    const Doubles weight = splat(picture.imageWeight);
    const std::uint32_t width = picture.image.width;
    const std::uint32_t height = picture.image.height;
    const Ints outside = Ints{} + picture.image.outside;
    for (std::int32_t j = first + kGhosts; j < last + kGhosts; j += kLanes) {
        // The coordinates lie within ±2^20 on the fast path: they truncate to 32 bits.
        const auto x = reinterpret_cast<Unsigneds>(__builtin_convertvector(load(xs + j), Ints));
        const auto y = reinterpret_cast<Unsigneds>(__builtin_convertvector(load(ys + j), Ints));
        const Ints inside = (x < width) & (y < height);
        const auto offset = reinterpret_cast<Ints>(y * width + x);
        // The four bytes ending with the pixel, or starting with it among the first three
        // pixels (the picture has at least eight), so that no read leaves the picture.
        const Ints early = offset < 3;
        const Unsigneds word = gather(picture.image.grey, early ? offset : offset - 3, inside);
        const Unsigneds shift = reinterpret_cast<Unsigneds>(early ? Ints{} : Ints{} + 24);
        const auto grey = reinterpret_cast<Ints>((word >> shift) & 0xffu);
        // greyLevel's rule, for all lanes at once.
        const Doubles level = __builtin_convertvector(inside ? grey : outside, Doubles);
        store(rows.pressure + j, roundToFloat((level - threshold) * weight));
    }
#else
    for (std::int32_t j = first + kGhosts; j < last + kGhosts; ++j) {
        const int level = greyLevel(picture.image, static_cast<std::int32_t>(xs[j]),
                                    static_cast<std::int32_t>(ys[j]));
        rows.pressure[j] = static_cast<float>((level - picture.threshold) * picture.imageWeight);
    }
#endif
}

std::int32_t rememberedPixels(KernelRows& rows, const KernelPicture& picture, const double* xs,
                              const double* ys, std::int32_t first, std::int32_t last,
                              std::int32_t* missed) {
    // Beyond the frame: the pressure of the outside value, as the pressure table holds it,
    // and no edge force.
    const auto beyondPressure =
        static_cast<float>((picture.image.outside - picture.threshold) * picture.imageWeight);
    std::int32_t count = 0;
#if defined(__AVX2__)
    const std::uint32_t frameWidth = picture.image.width + 2 * kFrameBand;
    const std::uint32_t frameHeight = picture.image.height + 2 * kFrameBand;
    for (std::int32_t j = first + kGhosts; j < last + kGhosts; j += kLanes) {
        // The coordinates lie within ±2^20 on the fast path: they truncate to 32 bits.
        const auto x = reinterpret_cast<Unsigneds>(__builtin_convertvector(load(xs + j), Ints));
        const auto y = reinterpret_cast<Unsigneds>(__builtin_convertvector(load(ys + j), Ints));
        // framePixel's rule, for all lanes at once. A lane beyond the frame may compute the
        // index of a pixel of it: it looks for an index no place holds instead.
        const Unsigneds fx = x + kFrameBand;
        const Unsigneds fy = y + kFrameBand;
        const Ints inFrame = (fx < frameWidth) & (fy < frameHeight);
        const Ints pixel =
            inFrame ? reinterpret_cast<Ints>(fy * frameWidth + fx) : Ints{} + kNoPixelRead - 1;
        Ints found{};
        Floats pressure = Floats{} + beyondPressure;
        Floats edgeX{};
        Floats edgeY{};
        for (std::int32_t place = 0; place < kPixelPlaces; ++place) {
            const Ints here = loadLanes<Ints>(rows.readPixel[place] + j) == pixel;
            found |= here;
            pressure = here ? loadLanes<Floats>(rows.readPressure[place] + j) : pressure;
            edgeX = here ? loadLanes<Floats>(rows.readEdgeX[place] + j) : edgeX;
            edgeY = here ? loadLanes<Floats>(rows.readEdgeY[place] + j) : edgeY;
        }
        store(rows.pressure + j, __builtin_convertvector(pressure, Doubles));
        store(rows.edgeX + j, __builtin_convertvector(edgeX, Doubles));
        store(rows.edgeY + j, __builtin_convertvector(edgeY, Doubles));
        std::uint32_t lanes = laneBits(inFrame & ~found);
        // Lanes past the last point are nobody's.
        const std::int32_t points = last + kGhosts - j;
        if (points < kLanes) lanes &= (1u << points) - 1;
        count = listLanes(lanes, j, missed, count);
    }
#else
    for (std::int32_t j = first + kGhosts; j < last + kGhosts; ++j) {
        const std::uint64_t pixel = framePixel(picture.image, static_cast<std::int32_t>(xs[j]),
                                               static_cast<std::int32_t>(ys[j]));
        if (pixel == kBeyondFrame) {
            rows.pressure[j] = beyondPressure;
            rows.edgeX[j] = 0.0;
            rows.edgeY[j] = 0.0;
            continue;
        }
        std::int32_t place = 0;
        while (place < kPixelPlaces && rows.readPixel[place][j] != static_cast<std::int32_t>(pixel))
            ++place;
        if (place == kPixelPlaces) {
            missed[count++] = j;
            continue;
        }
        rows.pressure[j] = rows.readPressure[place][j];
        rows.edgeX[j] = rows.readEdgeX[place][j];
        rows.edgeY[j] = rows.readEdgeY[place][j];
    }
#endif
    return count;
}

} // namespace

extern const KernelSet ORVIK_KERNEL_SET;
const KernelSet ORVIK_KERNEL_SET = {
    ORVIK_KERNEL_NAME, centerPositions, centerForces,     standardRadials, standardForces,
    balloonForces,     picturePressure, rememberedPixels, openedForces,
};

} // namespace orvik
