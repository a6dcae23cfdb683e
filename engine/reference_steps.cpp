// One iteration of each contour model: internal, image, shape and edge forces summed per
// point, then an explicit damped second-order time step into the older time level.
//
// Every named intermediate is rounded to a float in the order the terms are formed. Each
// point update is written once, as a template over the arithmetic: with CheckedArithmetic a
// diverging contour stops at the same operation, with the same message, and leaves the
// points written so far in place. A step whose inputs cannot reach the limits of that
// arithmetic takes the fast path instead: the same formulas, lane by lane across points, in
// the kernels of step_kernels.cpp, with the picture's part (the grey level under each point
// and the edge force there) read in between, and the contour kept in the kernels' rows from
// one step to the next while nothing can fail. Both give the same bits.
#include "checked_float.h"
#include "kontur.h"
#include "kontur_internal.h"
#include "step_kernels.h"
#include "step_scratch.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <type_traits>

namespace orvik {

// DirectionTable, PressureTable, EdgeForceCache and StepScratch (step_scratch.h).

const DirectionTable* DirectionTable::forPointCount(std::int32_t n) {
    if (n < 1 || n > kKernelCapacity) return nullptr;
    if (n != pointCount_) {
        for (std::int32_t i = 0; i < n; ++i) {
            const float theta = static_cast<float>(i * kTwoPi / n);
            sin_[static_cast<std::size_t>(i)] =
                static_cast<float>(std::sin(static_cast<double>(theta)));
            cos_[static_cast<std::size_t>(i)] =
                static_cast<float>(std::cos(static_cast<double>(theta)));
        }
        pointCount_ = n;
    }
    return this;
}

const float* PressureTable::forWeights(double threshold, double imageWeight, bool thresholdFirst) {
    if (!valid_ || thresholdFirst != thresholdFirst_ ||
        std::bit_cast<std::uint64_t>(threshold) != threshold_ ||
        std::bit_cast<std::uint64_t>(imageWeight) != imageWeight_) {
        for (int g = 0; g < 256; ++g) {
            const double difference = thresholdFirst ? threshold - g : g - threshold;
            values_[static_cast<std::size_t>(g)] = static_cast<float>(difference * imageWeight);
        }
        thresholdFirst_ = thresholdFirst;
        threshold_ = std::bit_cast<std::uint64_t>(threshold);
        imageWeight_ = std::bit_cast<std::uint64_t>(imageWeight);
        valid_ = true;
    }
    return values_.data();
}

bool EdgeForceCache::prepare(const GreyView& image, float weight) {
    const std::uint32_t weightBits = std::bit_cast<std::uint32_t>(weight);
    if (valid_ && grey_ == image.grey && width_ == image.width && height_ == image.height &&
        outside_ == image.outside && weight_ == weightBits)
        return false;
    if (generation_ == kLastGeneration) {
        entries_.fill(Entry{});
        generation_ = 0;
    }
    ++generation_;
    grey_ = image.grey;
    width_ = image.width;
    height_ = image.height;
    outside_ = image.outside;
    weight_ = weightBits;
    valid_ = true;
    return true;
}

// Kept out of line: the common case, a pixel met before, is a few instructions that the
// caller inlines.
[[gnu::noinline]] void EdgeForceCache::fill(const GreyView& image, float weight, std::int32_t x,
                                            std::int32_t y, Entry& entry, std::uint64_t tag) {
    edgeForce<PlainArithmetic>(image, weight, x, y, entry.fx, entry.fy);
    entry.tag = tag;
}

inline void EdgeForceCache::lookup(const GreyView& image, float weight, std::int32_t x,
                                   std::int32_t y, float& fx, float& fy) {
    const auto ux = static_cast<std::uint32_t>(x);
    const auto uy = static_cast<std::uint32_t>(y);
    // Off the picture the force is mostly zero and cheap; not worth an entry. So is a pixel
    // of a picture too large for the tag (beyond 2^40 pixels).
    const std::uint64_t pixel = std::uint64_t{uy} * image.width + ux;
    if (ux >= image.width || uy >= image.height || pixel >> kGenerationShift != 0) [[unlikely]] {
        edgeForce<PlainArithmetic>(image, weight, x, y, fx, fy);
        return;
    }
    const std::uint64_t tag = generation_ << kGenerationShift | pixel;
    // Neighbouring pixels land far apart, so a contour's pixels rarely share an entry.
    constexpr int kIndexShift = 64 - std::bit_width(kEntries - 1);
    Entry& entry = entries_[(pixel * 0x9E3779B97F4A7C15ull) >> kIndexShift];
    if (entry.tag != tag) [[unlikely]]
        fill(image, weight, x, y, entry, tag);
    fx = entry.fx;
    fy = entry.fy;
}

bool PixelMemory::stillHolds(bool newGeneration, double threshold, double imageWeight) {
    const auto thresholdBits = std::bit_cast<std::uint64_t>(threshold);
    const auto imageWeightBits = std::bit_cast<std::uint64_t>(imageWeight);
    const bool holds =
        valid_ && !newGeneration && thresholdBits == threshold_ && imageWeightBits == imageWeight_;
    valid_ = true;
    threshold_ = thresholdBits;
    imageWeight_ = imageWeightBits;
    return holds;
}

void StepScratch::reset() {
    directions = DirectionTable{};
    pressures = PressureTable{};
    edges.forget();
    pixels.forget();
    directionRows = 0;
}

namespace {

// Everything one step reads besides the points, taken from the record when the step starts:
// nothing changes them while it runs.
struct StepParameters {
    float* points;
    std::int32_t n;
    GreyView image;
    // Widened once here rather than at every use.
    double tension, rigidity, radius, formWeight, imageWeight, threshold;
    float gradientWeight;
    double centerX, centerY;
    double inertia, viscosity;
    double damping;       // inertia + viscosity, the divisor of the time step
    double radiusSquared; // radius · radius

    explicit StepParameters(const KONTUR& k)
        : points(k.Points.get()), n(k.PointCount), image(currentGreyView()), tension(k.Tension),
          rigidity(k.Rigidity), radius(k.Radius), formWeight(k.FormWeight),
          imageWeight(k.ImageWeight), threshold(k.Threshold), gradientWeight(k.GradientWeight),
          centerX(k.CenterX), centerY(k.CenterY), inertia(k.Inertia), viscosity(k.Viscosity),
          damping(inertia + viscosity), radiusSquared(radius * radius) {}

    KernelWeights kernelWeights() const {
        return {tension, rigidity, radius,    formWeight, centerX,
                centerY, inertia,  viscosity, damping,    radiusSquared};
    }

    // True when no operation of a step can raise a floating-point error, so that it may take
    // the fast path. Every coordinate and weight then has a magnitude of at most 2^20, the
    // divisors radius and inertia + viscosity at least 2^-20, and the floors keep the other
    // divisors at 0.2 or more; the largest intermediate, (q / radius)·FormWeight, stays below
    // 2^85 and the time step's quotient below 2^106, far from the float limit (2^128) and
    // from the 2^63 of a truncation. Any state outside these bounds, and point counts below
    // 3 or beyond the kernels' capacity, take the checked path. Here the weights and the
    // count; the coordinates are tested while the fast path reads them (FastRun::widen) and
    // as its kernels make them.
    bool weightsInRange() const {
        if (n < 3 || n > kKernelCapacity || points == nullptr) return false;
        bool small = true;
        for (const double weight :
             {tension, rigidity, radius, formWeight, imageWeight, threshold,
              static_cast<double>(gradientWeight), centerX, centerY, inertia, viscosity})
            small &= std::fabs(weight) <= kLarge; // false for a NaN too
        return small && std::fabs(damping) >= kSmall && std::fabs(radius) >= kSmall;
    }

    // The coordinates' side of the test, on the bits: magnitudes, infinities and NaNs
    // included, order as integers, and adding kRaise sets the top bit exactly for those above
    // 2^20. OR-ing outOfRange over every float leaves the top bit clear when all are in range.
    static std::uint32_t outOfRange(float v) {
        constexpr std::uint32_t kLargeBits =
            std::bit_cast<std::uint32_t>(static_cast<float>(kLarge));
        constexpr std::uint32_t kRaise = 0x7fffffffu - kLargeBits;
        return (std::bit_cast<std::uint32_t>(v) & 0x7fffffffu) + kRaise;
    }

    static constexpr double kLarge = kKernelLimit;
    static constexpr double kSmall = 0x1p-20;
};

// The parameters with the point buffer's slots, for the checked path. Kept in a local object,
// so the compiler knows that the stores into the point buffer leave the parameters alone.
// The current level C is a template argument, so that every slot of a point lies at a fixed
// offset from its first float.
template <std::int32_t C>
struct StepFrame : StepParameters {
    static constexpr std::int32_t c = C;     // the current level
    static constexpr std::int32_t p = 1 - C; // the older level, which receives the new values

    explicit StepFrame(const StepParameters& parameters) : StepParameters(parameters) {}

    double x(std::int32_t i) const { return points[xSlot(i, c)]; }
    double y(std::int32_t i) const { return points[ySlot(i, c)]; }
    double olderX(std::int32_t i) const { return points[xSlot(i, p)]; }
    double olderY(std::int32_t i) const { return points[ySlot(i, p)]; }
    void setX(std::int32_t i, float v) const { points[xSlot(i, p)] = v; }
    void setY(std::int32_t i, float v) const { points[ySlot(i, p)] = v; }
};

// Point i and its neighbours on a closed contour: i ± 1 and i ± 2 modulo n, for n ≥ 1.
struct Ring {
    std::int32_t prev2, prev, i, next, next2;

    static Ring around(std::int32_t i, std::int32_t n) {
        const std::int32_t prev = before(i, n);
        const std::int32_t next = after(i, n);
        return {before(prev, n), prev, i, next, after(next, n)};
    }
    // The ring of the next point along the contour.
    Ring following(std::int32_t n) const { return {prev, i, next, next2, after(next2, n)}; }

    static std::int32_t before(std::int32_t j, std::int32_t n) { return j == 0 ? n - 1 : j - 1; }
    static std::int32_t after(std::int32_t j, std::int32_t n) { return j == n - 1 ? 0 : j + 1; }
};

// Twice the tension times the second difference: pulls toward the neighbours' midpoint.
template <typename A>
float tensionTerm(double prev, double now, double next, double tension) {
    return A::store(((prev + next) * 2 - 4.0 * now) * tension);
}

// Minus twice the rigidity times the fourth difference: straightens the contour.
template <typename A>
float rigidityTerm(double prev2, double prev, double now, double next, double next2,
                   double rigidity) {
    return A::store(((prev + next) * 8 - (prev2 + next2) * 2 - 12.0 * now) * rigidity);
}

// Solves inertia·(new − 2·now + older) + viscosity·(new − now) = force for new.
template <typename Frame>
double stepNumerator(double now, double older, double force, const Frame& f) {
    return (2.0 * now - older) * f.inertia + f.viscosity * now + force;
}

template <typename A, typename Frame>
float integrate(double now, double older, double force, const Frame& f) {
    return A::store(A::divide(stepNumerator(now, older, force, f), f.damping));
}

// Both coordinates of point i: the new x is stored before the new y is rounded.
template <typename A, typename Frame>
void integrate(const Frame& f, std::int32_t i, double x, double y, double fx, double fy) {
    const Quotients next = A::divide(stepNumerator(x, f.olderX(i), fx, f), f.damping,
                                     stepNumerator(y, f.olderY(i), fy, f), f.damping);
    f.setX(i, A::store(next.first));
    f.setY(i, A::store(next.second));
}

template <typename A>
float scaled(double unit, double magnitude) {
    return A::store(unit * magnitude);
}

double squaredForce(double fx, double fy) {
    return fx * fx + fy * fy;
}

// Image pressure: grey level against the threshold, signed by the weight.
template <typename A, typename Frame>
float pressure(std::int32_t ix, std::int32_t iy, const Frame& f) {
    const int grey = f.image.sample(ix, iy);
    return A::store((grey - f.threshold) * f.imageWeight);
}

// The same with the difference turned round, as "Opened" forms it.
template <typename A, typename Frame>
float pressureFromThreshold(std::int32_t ix, std::int32_t iy, const Frame& f) {
    const int grey = f.image.sample(ix, iy);
    return A::store((f.threshold - grey) * f.imageWeight);
}

struct CenterPoint {
    template <typename A, typename Frame>
    static double update(const Frame& f, const Ring& ring, const DirectionTable* directions) {
        const std::int32_t i = ring.i;
        const double r = f.x(i);

        float sinTheta, cosTheta;
        if (directions != nullptr) {
            sinTheta = directions->sin(i);
            cosTheta = directions->cos(i);
        } else {
            const float theta = A::store(i * kTwoPi / f.n);
            sinTheta = A::store(std::sin(static_cast<double>(theta)));
            cosTheta = A::store(std::cos(static_cast<double>(theta)));
        }
        const float px = A::store(r * cosTheta + f.centerX);
        const float py = A::store(r * sinTheta + f.centerY);
        const std::int32_t ix = A::trunc(px);
        const std::int32_t iy = A::trunc(py);

        const float image = pressure<A>(ix, iy, f);
        const float tension = tensionTerm<A>(f.x(ring.prev), r, f.x(ring.next), f.tension);
        const float rigidity = rigidityTerm<A>(f.x(ring.prev2), f.x(ring.prev), r, f.x(ring.next),
                                               f.x(ring.next2), f.rigidity);
        float ex = 0;
        float ey = 0;
        edgeForceOrZero<A>(f.image, f.gradientWeight, ix, iy, ex, ey);
        const float edge =
            A::store(static_cast<double>(ex) * cosTheta + static_cast<double>(ey) * sinTheta);
        const double divisor = r > kFloor ? r : kFloor;
        const Quotients toRadius = A::divide(f.radiusSquared, divisor, r * r, f.radius);
        const float shape = A::store((toRadius.first - toRadius.second) * f.formWeight);
        const float force =
            A::store(static_cast<double>(image) + tension + rigidity + shape + edge);

        float next = integrate<A>(r, f.olderX(i), force, f);
        if (next > kMaxRadius) {
            next = kMaxRadius;
        } else if (next < kFloor) {
            next = kFloor;
        }
        f.setX(i, next);
        return static_cast<double>(force) * force;
    }
};

struct StandardPoint {
    // A point's place relative to the centre, and the image term along it.
    struct Radial {
        float q, d;   // squared distance, and distance raised to the floor
        float ux, uy; // unit vector from the centre
        std::int32_t ix, iy;
        float imageX, imageY;
    };

    template <typename A, typename Frame>
    static Radial radial(const Frame& f, std::int32_t i) {
        const double x = f.x(i);
        const double y = f.y(i);
        // Direction and distance from the centre; the floor keeps the divisions finite, and
        // a point on the centre gets a zero unit vector.
        const float dx = A::store(x - f.centerX);
        const float dy = A::store(y - f.centerY);
        const float q = A::store(static_cast<double>(dx) * dx + static_cast<double>(dy) * dy);
        float d = A::root(q);
        if (d < kFloor) d = kFloor;
        const float ux = A::store(static_cast<double>(dx) / d);
        const float uy = A::store(static_cast<double>(dy) / d);
        const std::int32_t ix = A::trunc(x);
        const std::int32_t iy = A::trunc(y);

        const float e = pressure<A>(ix, iy, f);
        const float imageX = scaled<A>(ux, e);
        const float imageY = scaled<A>(uy, e);
        return {q, d, ux, uy, ix, iy, imageX, imageY};
    }

    template <typename A, typename Frame>
    static double forces(const Frame& f, const Ring& ring, const Radial& r) {
        const std::int32_t i = ring.i;
        const double x = f.x(i);
        const double y = f.y(i);
        const float tensionX = tensionTerm<A>(f.x(ring.prev), x, f.x(ring.next), f.tension);
        const float tensionY = tensionTerm<A>(f.y(ring.prev), y, f.y(ring.next), f.tension);
        const float rigidityX = rigidityTerm<A>(f.x(ring.prev2), f.x(ring.prev), x, f.x(ring.next),
                                                f.x(ring.next2), f.rigidity);
        const float rigidityY = rigidityTerm<A>(f.y(ring.prev2), f.y(ring.prev), y, f.y(ring.next),
                                                f.y(ring.next2), f.rigidity);
        float ex = 0;
        float ey = 0;
        edgeForceOrZero<A>(f.image, f.gradientWeight, r.ix, r.iy, ex, ey);
        // Toward the preferred radius: the raised distance divides, the unchanged square
        // does not.
        const Quotients toRadius = A::divide(f.radiusSquared, r.d, r.q, f.radius);
        const float shape = A::store((toRadius.first - toRadius.second) * f.formWeight);
        const float shapeX = scaled<A>(r.ux, shape);
        const float shapeY = scaled<A>(r.uy, shape);

        const float fx =
            A::store(static_cast<double>(r.imageX) + tensionX + rigidityX + shapeX + ex);
        const float fy =
            A::store(static_cast<double>(r.imageY) + tensionY + rigidityY + shapeY + ey);
        integrate<A>(f, i, x, y, fx, fy);
        return squaredForce(fx, fy);
    }

    template <typename A, typename Frame>
    static double update(const Frame& f, const Ring& ring, const DirectionTable*) {
        return forces<A>(f, ring, radial<A>(f, ring.i));
    }
};

struct BalloonPoint {
    template <typename A, typename Frame>
    static double update(const Frame& f, const Ring& ring, const DirectionTable*) {
        const std::int32_t i = ring.i;
        const double x = f.x(i);
        const double y = f.y(i);

        // The chord between the neighbours turned a quarter clockwise on the screen: outward
        // on a contour that runs counter-clockwise. Coinciding neighbours give a zero normal.
        const double chordY = f.y(ring.prev) - f.y(ring.next);
        const double chordX = f.x(ring.next) - f.x(ring.prev);
        float l = A::store(std::sqrt(chordY * chordY + chordX * chordX));
        if (l < kFloor) l = kFloor;
        const float nx = A::store(chordY / l);
        const float ny = A::store(chordX / l);
        const std::int32_t ix = A::trunc(x);
        const std::int32_t iy = A::trunc(y);

        const float e = pressure<A>(ix, iy, f);
        const float imageX = scaled<A>(nx, e);
        const float imageY = scaled<A>(ny, e);
        const float tensionX = tensionTerm<A>(f.x(ring.prev), x, f.x(ring.next), f.tension);
        const float tensionY = tensionTerm<A>(f.y(ring.prev), y, f.y(ring.next), f.tension);
        const float rigidityX = rigidityTerm<A>(f.x(ring.prev2), f.x(ring.prev), x, f.x(ring.next),
                                                f.x(ring.next2), f.rigidity);
        const float rigidityY = rigidityTerm<A>(f.y(ring.prev2), f.y(ring.prev), y, f.y(ring.next),
                                                f.y(ring.next2), f.rigidity);
        float ex = 0;
        float ey = 0;
        edgeForceOrZero<A>(f.image, f.gradientWeight, ix, iy, ex, ey);

        const float fx = A::store(static_cast<double>(imageX) + tensionX + rigidityX + ex);
        const float fy = A::store(static_cast<double>(imageY) + tensionY + rigidityY + ey);
        integrate<A>(f, i, x, y, fx, fy);
        return squaredForce(fx, fy);
    }
};

struct OpenedPoint {
    // The ring's wrapped indices are not used: the chain has ends.
    template <typename A, typename Frame>
    static double update(const Frame& f, const Ring& ring, const DirectionTable*) {
        const std::int32_t i = ring.i;
        const std::int32_t prev = i - 1;
        const std::int32_t next = i + 1;
        const double x = f.x(i);
        const double y = f.y(i);

        const std::int32_t ix = A::trunc(x);
        const std::int32_t iy = A::trunc(y);
        const float tensionX = tensionTerm<A>(f.x(prev), x, f.x(next), f.tension);
        const float tensionY = tensionTerm<A>(f.y(prev), y, f.y(next), f.tension);
        // The first and the last movable point lack a second neighbour: no rigidity there.
        float rigidityX = 0;
        float rigidityY = 0;
        if (i - 2 >= 0 && i + 2 < f.n) {
            rigidityX =
                rigidityTerm<A>(f.x(i - 2), f.x(prev), x, f.x(next), f.x(i + 2), f.rigidity);
            rigidityY =
                rigidityTerm<A>(f.y(i - 2), f.y(prev), y, f.y(next), f.y(i + 2), f.rigidity);
        }
        float ex = 0;
        float ey = 0;
        edgeForceOrZero<A>(f.image, f.gradientWeight, ix, iy, ex, ey);

        // Along the grey gradient, toward the threshold's grey level.
        const GreyView& image = f.image;
        const int gx =
            image.sample(shiftedPixel(ix, 1), iy) - image.sample(shiftedPixel(ix, -1), iy);
        const int gy =
            image.sample(ix, shiftedPixel(iy, 1)) - image.sample(ix, shiftedPixel(iy, -1));
        const float e = pressureFromThreshold<A>(ix, iy, f);
        const float imageX = A::store(static_cast<double>(gx) * e * kEdgeScale);
        const float imageY = A::store(static_cast<double>(gy) * e * kEdgeScale);

        const float fx = A::store(static_cast<double>(imageX) + tensionX + rigidityX + ex);
        const float fy = A::store(static_cast<double>(imageY) + tensionY + rigidityY + ey);
        integrate<A>(f, i, x, y, fx, fy);
        return squaredForce(fx, fy);
    }
};

// The checked update of one point on its own, as the tests drive it.
template <typename Model, std::int32_t C>
double updateChecked(KONTUR& k, std::int32_t i) {
    const StepFrame<C> frame{StepParameters(k)};
    const DirectionTable* directions = k.Scratch.directions.forPointCount(k.PointCount);
    return Model::template update<CheckedArithmetic>(frame, Ring::around(i, k.PointCount),
                                                     directions);
}

template <typename Model>
double updateChecked(KONTUR& k, std::int32_t i) {
    return currentLevel(k) != 0 ? updateChecked<Model, 1>(k, i) : updateChecked<Model, 0>(k, i);
}

// Visits points first .. last − 1 in ascending order with every check, summing their energy
// terms into k.Energy point by point, so that an error leaves the partial sum.
template <typename Model, std::int32_t C>
void stepChecked(KONTUR& k, const StepParameters& parameters, std::int32_t first,
                 std::int32_t last) {
    const DirectionTable* directions = k.Scratch.directions.forPointCount(k.PointCount);
    const StepFrame<C> frame(parameters);
    Ring ring = Ring::around(first, parameters.n);
    for (std::int32_t i = first; i < last; ++i, ring = ring.following(frame.n))
        k.Energy += Model::template update<CheckedArithmetic>(frame, ring, directions);
}

// The models the fast path knows.
enum class FastModel { CenterPoint, Standard, Balloon, Opened };

// The fast path over one or more steps. Both levels are widened into the scratch's rows once;
// each step then reads the picture point by point, runs the kernels of the instruction set in
// use, and lets the rows trade places, so the contour stays in the rows from one step to the
// next. At the end both levels go back into the point buffer, and the last step's energy
// terms are summed in point order: no one can see the points or the energy in between.
class FastRun {
public:
    FastRun(KONTUR& k, const StepParameters& parameters)
        : s_(parameters), scratch_(k.Scratch), rows_(k.Scratch.rows), kernels_(activeKernels()),
          weights_(parameters.kernelWeights()), c_(currentLevel(k)) {}

    // Performs up to `count` steps and returns how many it did, with the last one's energy
    // sum in `energy`. Stops after a step whose new values leave the fast path's range, so
    // that the next one takes the checked path. Returns 0, having written nothing but its
    // rows, when a coordinate is out of range from the start.
    template <FastModel M>
    std::int64_t run(std::int64_t count, double& energy) {
        constexpr bool withY = M != FastModel::CenterPoint;
        constexpr bool opened = M == FastModel::Opened;
        // The end points of "Opened" stay; their ghosts are read by lanes whose results are
        // not used.
        const std::int32_t first = opened ? 1 : 0;
        const std::int32_t last = opened ? s_.n - 1 : s_.n;
        if (!widen(withY)) return 0;
        if constexpr (M == FastModel::CenterPoint) fillDirections();
        const float* pressures =
            scratch_.pressures.forWeights(s_.threshold, s_.imageWeight, opened);
        // The kernels read a picture of a size they can index with 32 bits; the steps read
        // any other one point by point.
        const GreyView& image = s_.image;
        const std::uint64_t size = std::uint64_t{image.width} * image.height;
        if (image.grey != nullptr && size >= 8 && size < (std::uint64_t{1} << 31))
            picture_ = {image.grey,
                        static_cast<std::int32_t>(image.width),
                        static_cast<std::int32_t>(image.height),
                        image.outside,
                        s_.threshold,
                        s_.imageWeight};
        const bool newGeneration =
            s_.gradientWeight != 0.0f && scratch_.edges.prepare(s_.image, s_.gradientWeight);
        // "Opened" remembers the pixels it read (readPicture). Nothing read yet: no pixel is
        // remembered. The picture, the polarity and the weights cannot change while the steps
        // run, so what is read stays valid until they end.
        if constexpr (opened)
            std::fill(rows_.pixelX + first + kGhosts, rows_.pixelX + last + kGhosts, kNoPixel);
        // Closed contours under the edge force remember what they read (readRemembered),
        // from one run of steps to the next while the picture and the weights stay.
        if (!opened && s_.gradientWeight != 0.0f &&
            !scratch_.pixels.stillHolds(newGeneration, s_.threshold, s_.imageWeight)) {
            std::fill(rows_.readNext + first + kGhosts, rows_.readNext + last + kGhosts, 0);
            for (auto& place : rows_.readPixel)
                std::fill(place + first + kGhosts, place + last + kGhosts, kNoPixelRead);
        }
        if (s_.gradientWeight == 0.0f) {
            // A zero weight takes no samples: the force is a plain zero, whatever an earlier
            // analysis left in the rows.
            std::fill(rows_.edgeX + first + kGhosts, rows_.edgeX + last + kGhosts, 0.0);
            std::fill(rows_.edgeY + first + kGhosts, rows_.edgeY + last + kGhosts, 0.0);
        }

        KernelLevels levels{0, 1, 2};
        std::int64_t done = 0;
        bool inRange = true;
        while (inRange && done < count) {
            const double* xs = rows_.x[levels.current];
            const double* ys = rows_.y[levels.current];
            switch (M) {
            case FastModel::CenterPoint:
                kernels_.centerPositions(rows_, weights_, levels, first, last);
                readPicture<false>(first, last, pressures, rows_.px, rows_.py);
                inRange = kernels_.centerForces(rows_, weights_, levels, first, last);
                break;
            case FastModel::Standard:
                kernels_.standardRadials(rows_, weights_, levels, first, last);
                readPicture<false>(first, last, pressures, xs, ys);
                inRange = kernels_.standardForces(rows_, weights_, levels, first, last);
                break;
            case FastModel::Balloon:
                readPicture<false>(first, last, pressures, xs, ys);
                inRange = kernels_.balloonForces(rows_, weights_, levels, first, last);
                break;
            case FastModel::Opened:
                readPicture<true>(first, last, pressures, xs, ys);
                inRange = kernels_.openedForces(rows_, weights_, levels, first, last, s_.n);
                break;
            }
            finishRow(rows_.x, levels, opened);
            if (withY) finishRow(rows_.y, levels, opened);
            // The new values become the current level, the current one the older level.
            levels = {levels.fresh, levels.current, levels.older};
            ++done;
        }
        writeBack(levels, (c_ + done) & 1, withY);
        energy = 0;
        for (std::int32_t j = first + kGhosts; j < last + kGhosts; ++j)
            energy += rows_.energy[j];
        return done;
    }

private:
    // Both levels of every point into rows 0 (current) and 1 (older), the ghosts of the
    // current one, and zeros past the ghosts. Tests every float of the buffer on the way
    // (y too when the model has none) and returns false, leaving the rows unfinished, when
    // one is beyond the fast path's range.
    bool widen(bool withY) {
        const float* points = s_.points;
        const std::int32_t n = s_.n;
        std::uint32_t large = 0;
        for (std::int32_t i = 0; i < n; ++i) {
            const float* point = points + xSlot(i, 0);
            large |= StepParameters::outOfRange(point[0]) | StepParameters::outOfRange(point[1]) |
                     StepParameters::outOfRange(point[2]) | StepParameters::outOfRange(point[3]);
            rows_.x[0][i + kGhosts] = point[c_];
            rows_.x[1][i + kGhosts] = point[1 - c_];
            if (withY) {
                rows_.y[0][i + kGhosts] = point[2 + c_];
                rows_.y[1][i + kGhosts] = point[2 + 1 - c_];
            }
        }
        if ((large & 0x80000000u) != 0) return false;
        startRows(rows_.x);
        if (withY) startRows(rows_.y);
        return true;
    }

    void startRows(double (&rows)[3][kRowLength]) const {
        fillGhosts(rows[0]);
        for (double* row : rows)
            std::fill(row + kGhosts + s_.n + 2, row + kRowLength, 0.0);
    }

    // Model 1's directions into their rows, once per point count.
    void fillDirections() {
        if (scratch_.directionRows == s_.n) return;
        const DirectionTable* directions = scratch_.directions.forPointCount(s_.n);
        for (std::int32_t i = 0; i < s_.n; ++i) {
            rows_.cosTheta[i + kGhosts] = directions->cos(i);
            rows_.sinTheta[i + kGhosts] = directions->sin(i);
        }
        scratch_.directionRows = s_.n;
    }

    // Before point 0 the last two points, after the last point the first two.
    void fillGhosts(double* row) const {
        const std::int32_t n = s_.n;
        row[kGhosts - 2] = row[kGhosts + n - 2];
        row[kGhosts - 1] = row[kGhosts + n - 1];
        row[kGhosts + n] = row[kGhosts];
        row[kGhosts + n + 1] = row[kGhosts + 1];
    }

    // Makes the row of new values a whole current level: the end points of "Opened" keep
    // their older values, the ghosts follow, and the lanes the kernels ran past the last
    // point are zeroed again, so that nothing grows there from step to step.
    void finishRow(double (&rows)[3][kRowLength], KernelLevels levels, bool opened) const {
        const std::int32_t n = s_.n;
        double* fresh = rows[levels.fresh];
        if (opened) {
            const double* older = rows[levels.older];
            fresh[kGhosts] = older[kGhosts];
            fresh[kGhosts + n - 1] = older[kGhosts + n - 1];
        }
        fillGhosts(fresh);
        std::fill(fresh + kGhosts + n + 2, fresh + kGhosts + n + 2 + 8, 0.0);
    }

    // The image pressure and the edge force at the pixel under each point (and, for
    // "Opened", the grey differences across it), from the pixel positions in xs and ys.
    template <bool Opened>
    void readPicture(std::int32_t first, std::int32_t last, const float* pressures,
                     const double* xs, const double* ys) {
        if (!Opened && picture_.grey != nullptr) {
            // Without the edge force, gathering the grey levels costs less than remembering
            // them.
            if (s_.gradientWeight == 0.0f) {
                kernels_.picturePressure(rows_, picture_, xs, ys, first, last);
            } else {
                readRemembered(first, last, pressures, xs, ys);
            }
        } else if (s_.gradientWeight != 0.0f) {
            readPicture<Opened, true>(first, last, pressures, xs, ys);
        } else {
            readPicture<Opened, false>(first, last, pressures, xs, ys);
        }
    }

    // The same with the weight's zeroness fixed, so that the loop does not test it.
    template <bool Opened, bool Edge>
    void readPicture(std::int32_t first, std::int32_t last, const float* pressures,
                     const double* xs, const double* ys) {
        if constexpr (!Opened) {
            for (std::int32_t j = first + kGhosts; j < last + kGhosts; ++j)
                readPoint<Opened, Edge>(j, PlainArithmetic::trunc(xs[j]),
                                        PlainArithmetic::trunc(ys[j]), pressures);
            return;
        }
        // An open chain settles: after a while its points stay on their pixels from step to
        // step, and its five samples per point are the largest reading of the four models.
        // So it remembers the pixels it read, and a block of points that all stay on them
        // keeps its values in the rows. (A closed contour under the image pressure keeps
        // crossing pixel borders: in the benchmark about half its points change pixel at
        // every step, and the test costs more than it saves.) Deciding per block rather than
        // per point keeps the branch predictable while the chain still moves.
        constexpr std::int32_t kBlock = 8;
        for (std::int32_t start = first + kGhosts; start < last + kGhosts; start += kBlock) {
            const std::int32_t end = std::min(start + kBlock, last + kGhosts);
            std::int32_t pixelX[kBlock];
            std::int32_t pixelY[kBlock];
            std::uint32_t moved = 0;
            for (std::int32_t j = start; j < end; ++j) {
                pixelX[j - start] = PlainArithmetic::trunc(xs[j]);
                pixelY[j - start] = PlainArithmetic::trunc(ys[j]);
                moved |= static_cast<std::uint32_t>(pixelX[j - start] ^ rows_.pixelX[j]) |
                         static_cast<std::uint32_t>(pixelY[j - start] ^ rows_.pixelY[j]);
            }
            if (moved == 0) continue;
            for (std::int32_t j = start; j < end; ++j) {
                rows_.pixelX[j] = pixelX[j - start];
                rows_.pixelY[j] = pixelY[j - start];
                readPoint<Opened, Edge>(j, pixelX[j - start], pixelY[j - start], pressures);
            }
        }
    }

    // The image pressure and the edge force under each point of a closed contour, the weight
    // of the edge force not zero. A point that settles keeps visiting the same few pixels, so
    // each remembers what it read at the last ones (rows.readPixel) and reads the picture and
    // the edge-force cache only at a pixel it has not kept. Nothing it keeps can change while
    // the steps run.
    void readRemembered(std::int32_t first, std::int32_t last, const float* pressures,
                        const double* xs, const double* ys) {
        std::int32_t missed[kKernelCapacity + 8]; // a whole block may be written past the end
        const std::int32_t count =
            kernels_.rememberedPixels(rows_, picture_, xs, ys, first, last, missed);
        const auto width = static_cast<std::uint32_t>(picture_.width);
        const auto height = static_cast<std::uint32_t>(picture_.height);
        for (std::int32_t m = 0; m < count; ++m) {
            const std::int32_t j = missed[m];
            const std::int32_t ix = PlainArithmetic::trunc(xs[j]);
            const std::int32_t iy = PlainArithmetic::trunc(ys[j]);
            readPoint<false, true>(j, ix, iy, pressures);
            const auto ux = static_cast<std::uint32_t>(ix);
            const auto uy = static_cast<std::uint32_t>(iy);
            if (ux >= width || uy >= height) continue;
            const auto place = static_cast<std::size_t>(rows_.readNext[j]);
            rows_.readNext[j] = (rows_.readNext[j] + 1) % kPixelPlaces;
            rows_.readPixel[place][j] = static_cast<std::int32_t>(uy * width + ux);
            rows_.readPressure[place][j] = static_cast<float>(rows_.pressure[j]);
            rows_.readEdgeX[place][j] = static_cast<float>(rows_.edgeX[j]);
            rows_.readEdgeY[place][j] = static_cast<float>(rows_.edgeY[j]);
        }
    }

    // What the kernels need from the picture at pixel (ix, iy), into the rows at index j.
    template <bool Opened, bool Edge>
    void readPoint(std::int32_t j, std::int32_t ix, std::int32_t iy, const float* pressures) {
        const GreyView& image = s_.image;
        float ex = 0;
        float ey = 0;
        // A zero weight takes no samples: the force is a plain zero.
        if constexpr (Edge) scratch_.edges.lookup(image, s_.gradientWeight, ix, iy, ex, ey);
        rows_.edgeX[j] = ex;
        rows_.edgeY[j] = ey;
        if constexpr (Opened) {
            int grey, gradX, gradY;
            // A pixel with its four neighbours inside the picture reads them straight from
            // the buffer.
            if (image.width >= 3 && image.height >= 3 &&
                static_cast<std::uint32_t>(ix) - 1u < image.width - 2u &&
                static_cast<std::uint32_t>(iy) - 1u < image.height - 2u) {
                const std::ptrdiff_t row = image.width;
                const std::uint8_t* p = image.grey + static_cast<std::ptrdiff_t>(iy) * row + ix;
                grey = p[0];
                gradX = p[1] - p[-1];
                gradY = p[row] - p[-row];
            } else {
                grey = image.sample(ix, iy);
                gradX =
                    image.sample(shiftedPixel(ix, 1), iy) - image.sample(shiftedPixel(ix, -1), iy);
                gradY =
                    image.sample(ix, shiftedPixel(iy, 1)) - image.sample(ix, shiftedPixel(iy, -1));
            }
            rows_.pressure[j] = pressures[grey];
            rows_.gradX[j] = gradX;
            rows_.gradY[j] = gradY;
        } else {
            rows_.pressure[j] = pressures[image.sample(ix, iy)];
        }
    }

    // Both levels back into the point buffer: the current rows into `level`, the older ones
    // into the other.
    void writeBack(KernelLevels levels, std::int64_t level, bool withY) const {
        float* points = s_.points;
        const auto c = static_cast<std::int32_t>(level);
        for (std::int32_t i = 0; i < s_.n; ++i) {
            const std::int32_t j = i + kGhosts;
            points[xSlot(i, c)] = static_cast<float>(rows_.x[levels.current][j]);
            points[xSlot(i, 1 - c)] = static_cast<float>(rows_.x[levels.older][j]);
            if (withY) {
                points[ySlot(i, c)] = static_cast<float>(rows_.y[levels.current][j]);
                points[ySlot(i, 1 - c)] = static_cast<float>(rows_.y[levels.older][j]);
            }
        }
    }

    const StepParameters& s_;
    StepScratch& scratch_;
    KernelRows& rows_;
    const KernelSet& kernels_;
    const KernelWeights weights_;
    const std::int32_t c_;    // the current level when the run starts
    KernelPicture picture_{}; // no grey levels: the picture is read point by point

    // No pixel: a truncated coordinate on the fast path lies within ±2^20.
    static constexpr std::int32_t kNoPixel = INT32_MIN;
};

// Up to `count` steps of Model over points first .. last − 1, each followed by the energy
// divided and Iteration advanced; returns how many were done. The fast path runs as many as
// it can keep in range; when it declines at once (having written nothing but its rows), one
// step takes the checked path.
template <typename Model, FastModel M>
std::int64_t stepPoints(KONTUR& k, std::int32_t first, std::int32_t last, double divisor,
                        std::int64_t count) {
    const StepParameters parameters(k);
    k.Energy = 0;
    double energy = 0;
    std::int64_t done = 0;
    if (parameters.weightsInRange()) done = FastRun(k, parameters).run<M>(count, energy);
    if (done > 0) {
        k.Energy = energy;
    } else if (currentLevel(k) != 0) {
        stepChecked<Model, 1>(k, parameters, first, last);
        done = 1;
    } else {
        stepChecked<Model, 0>(k, parameters, first, last);
        done = 1;
    }
    k.Energy = divideChecked(k.Energy, divisor);
    k.Iteration = static_cast<std::int32_t>(static_cast<std::uint32_t>(k.Iteration) +
                                            static_cast<std::uint32_t>(done));
    return done;
}

// One model's steps: its points, and the divisor of its energy.
std::int64_t centerPointSteps(KONTUR& k, std::int64_t count) {
    return stepPoints<CenterPoint, FastModel::CenterPoint>(k, 0, k.PointCount, k.PointCount, count);
}

std::int64_t standardSteps(KONTUR& k, std::int64_t count) {
    return stepPoints<StandardPoint, FastModel::Standard>(k, 0, k.PointCount, k.PointCount, count);
}

std::int64_t balloonSteps(KONTUR& k, std::int64_t count) {
    return stepPoints<BalloonPoint, FastModel::Balloon>(k, 0, k.PointCount, k.PointCount, count);
}

// The end points stay where Init put them; only the N − 2 inner points move.
std::int64_t openedSteps(KONTUR& k, std::int64_t count) {
    return stepPoints<OpenedPoint, FastModel::Opened>(k, 1, k.PointCount - 1, k.PointCount - 2.0,
                                                      count);
}

} // namespace

double UpdateCenterPoint(KONTUR& k, std::int32_t i) {
    return updateChecked<CenterPoint>(k, i);
}

double UpdateStandardPoint(KONTUR& k, std::int32_t i) {
    return updateChecked<StandardPoint>(k, i);
}

double UpdateBalloonPoint(KONTUR& k, std::int32_t i) {
    return updateChecked<BalloonPoint>(k, i);
}

double UpdateOpenedPoint(KONTUR& k, std::int32_t i) {
    return updateChecked<OpenedPoint>(k, i);
}

void StepCenterPoint(KONTUR& k) {
    k.Scratch.pixels.forget();
    centerPointSteps(k, 1);
}

void StepStandard(KONTUR& k) {
    k.Scratch.pixels.forget();
    standardSteps(k, 1);
}

void StepBalloon(KONTUR& k) {
    k.Scratch.pixels.forget();
    balloonSteps(k, 1);
}

void StepOpened(KONTUR& k) {
    openedSteps(k, 1);
}

void StepModelRepeatedly(KONTUR& k, std::int64_t count, bool continuing) {
    if (!continuing) k.Scratch.pixels.forget();
    std::int64_t (*steps)(KONTUR&, std::int64_t) = nullptr;
    switch (k.ModelKind) {
    case 1:
        steps = centerPointSteps;
        break;
    case 2:
        steps = standardSteps;
        break;
    case 3:
        steps = balloonSteps;
        break;
    case 4:
        steps = openedSteps;
        break;
    default: // not set up yet: nothing to move
        return;
    }
    while (count > 0)
        count -= steps(k, count);
}

} // namespace orvik
