// One iteration of each contour model: internal, image, shape and edge forces summed per
// point, then an explicit damped second-order time step into the older time level.
//
// Every named intermediate is rounded to a float in the order the terms are formed. Each
// point update is written once, as a template over the arithmetic: with CheckedArithmetic a
// diverging contour stops at the same operation, with the same message, and leaves the
// points written so far in place; a step whose inputs cannot reach the limits of that
// arithmetic runs the very same formulas with PlainArithmetic, which yields the same bits
// without the tests.
#include "checked_float.h"
#include "kontur.h"
#include "kontur_internal.h"

#include <array>
#include <bit>
#include <cmath>
#include <type_traits>

namespace orvik {

// The four steps are compiled for three instruction sets, and the best one the processor has
// is picked when the program starts: the larger register files of the newer sets spare a step
// most of its register spills. Every clone performs the same IEEE operations (contraction is
// off, so no fused multiply-add), so all of them give the same bits. ORVIK_NO_STEP_CLONES
// builds the steps for the compiler's target alone, for comparing one set against another.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) &&                             \
    !defined(ORVIK_NO_STEP_CLONES)
#define ORVIK_STEP_TARGETS                                                                         \
    __attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default")))
#else
#define ORVIK_STEP_TARGETS
#endif

namespace {

// Directions of the points of the centre point model: θ = i·2π/N and its sine and cosine,
// each rounded to a float as the step rounds them. They depend on i and N only, so they are
// worked out once for the point count in use and read back by every later step.
class DirectionTable {
public:
    static constexpr std::int32_t kCapacity = 1024;

    // The table for n points, or nullptr when n is beyond the table's capacity.
    const DirectionTable* forPointCount(std::int32_t n) {
        if (n < 1 || n > kCapacity) return nullptr;
        if (n != pointCount_) {
            for (std::int32_t i = 0; i < n; ++i) {
                const float theta = static_cast<float>(i * kTwoPi / n);
                sin_[i] = static_cast<float>(std::sin(static_cast<double>(theta)));
                cos_[i] = static_cast<float>(std::cos(static_cast<double>(theta)));
            }
            pointCount_ = n;
        }
        return this;
    }
    float sin(std::int32_t i) const { return sin_[i]; }
    float cos(std::int32_t i) const { return cos_[i]; }

private:
    std::int32_t pointCount_ = 0;
    std::array<float, kCapacity> sin_{};
    std::array<float, kCapacity> cos_{};
};

DirectionTable directionTable;

// The current level of a step widened to double, a row for x and a row for y. Every
// coordinate is read by five points of a step; widening it once spares the repeats.
struct WidenedLevel {
    static constexpr std::int32_t kCapacity = 1024;
    std::array<double, kCapacity> x{};
    std::array<double, kCapacity> y{};

    // Fills the rows from level c of n ≤ kCapacity points, and tells whether every float of
    // those points, at both levels, has a magnitude of at most 2^20 (no infinity, no NaN).
    bool fillIfSmall(const float* points, std::int32_t n, std::int32_t c) {
        // On the bits: magnitudes, infinities and NaNs included, order as integers, and
        // adding kRaise sets the top bit exactly for those above 2^20.
        constexpr std::uint32_t kLargeBits = std::bit_cast<std::uint32_t>(0x1p20f);
        constexpr std::uint32_t kRaise = 0x7fffffffu - kLargeBits;
        std::uint32_t large = 0;
        for (std::size_t j = 0; j < pointBufferSize(n); ++j) // a loop the compiler vectorises
            large |= (std::bit_cast<std::uint32_t>(points[j]) & 0x7fffffffu) + kRaise;
        for (std::int32_t i = 0; i < n; ++i) {
            x[i] = points[xSlot(i, c)];
            y[i] = points[ySlot(i, c)];
        }
        return (large & 0x80000000u) == 0;
    }
};

WidenedLevel widenedLevel;

// The image pressure (g − Threshold)·ImageWeight, rounded to float, for every grey level g:
// it depends on two parameters and a byte only, so a table kept for the parameters in use
// replaces the arithmetic. "Opened" turns the difference round: (Threshold − g)·ImageWeight.
class PressureTable {
public:
    explicit PressureTable(bool thresholdFirst) : thresholdFirst_(thresholdFirst) {}

    // The table for these weights, built when they differ from the last ones.
    const float* forWeights(double threshold, double imageWeight) {
        // Compared as bits: a weight of −0 gives other zeros than +0.
        if (!valid_ || std::bit_cast<std::uint64_t>(threshold) != threshold_ ||
            std::bit_cast<std::uint64_t>(imageWeight) != imageWeight_) {
            for (int g = 0; g < 256; ++g) {
                const double difference = thresholdFirst_ ? threshold - g : g - threshold;
                values_[g] = static_cast<float>(difference * imageWeight);
            }
            threshold_ = std::bit_cast<std::uint64_t>(threshold);
            imageWeight_ = std::bit_cast<std::uint64_t>(imageWeight);
            valid_ = true;
        }
        return values_.data();
    }

private:
    bool thresholdFirst_;
    bool valid_ = false;
    std::uint64_t threshold_ = 0;
    std::uint64_t imageWeight_ = 0;
    std::array<float, 256> values_{};
};

PressureTable pressureTable(false);
PressureTable openedPressureTable(true);

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

    // True when no operation of a step on level c can raise a floating-point error, so that
    // it may run with PlainArithmetic; then also fills widenedLevel. Every coordinate and
    // weight then has a magnitude of at most 2^20, the divisors radius and inertia +
    // viscosity at least 2^-20, and the floors keep the other divisors at 0.2 or more; the
    // largest intermediate, (q / radius)·FormWeight, stays below 2^85 and the time step's
    // quotient below 2^106, far from the float limit (2^128) and from the 2^63 of a
    // truncation. Any state outside these bounds, and point counts below 3 or beyond the
    // widened level's capacity, take the checked path.
    bool inRange(std::int32_t c) const {
        constexpr double kLarge = 0x1p20;
        constexpr double kSmall = 0x1p-20;
        if (n < 3 || n > WidenedLevel::kCapacity || points == nullptr) return false;
        bool small = true;
        for (const double weight :
             {tension, rigidity, radius, formWeight, imageWeight, threshold,
              static_cast<double>(gradientWeight), centerX, centerY, inertia, viscosity})
            small &= std::fabs(weight) <= kLarge; // false for a NaN too
        return small && std::fabs(damping) >= kSmall && std::fabs(radius) >= kSmall &&
               widenedLevel.fillIfSmall(points, n, c);
    }
};

// The parameters with the point buffer's slots. Kept in a local object, so the compiler knows
// that the stores into the point buffer leave the parameters alone. The current level C is a
// template argument, so that every slot of a point lies at a fixed offset from its first
// float. A Prepared frame, for the plain path, reads the current level from widenedLevel,
// which inRange has filled, and the image pressure from a table.
template <std::int32_t C, bool Prepared>
struct StepFrame : StepParameters {
    static constexpr std::int32_t c = C;     // the current level
    static constexpr std::int32_t p = 1 - C; // the older level, which receives the new values
    static constexpr bool kPrepared = Prepared;
    const float* pressures = nullptr; // by grey level, in a Prepared frame

    explicit StepFrame(const StepParameters& parameters, const float* pressureTable = nullptr)
        : StepParameters(parameters), pressures(pressureTable) {}

    double x(std::int32_t i) const {
        if constexpr (Prepared) return widenedLevel.x[i];
        return points[xSlot(i, c)];
    }
    double y(std::int32_t i) const {
        if constexpr (Prepared) return widenedLevel.y[i];
        return points[ySlot(i, c)];
    }
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
    if constexpr (Frame::kPrepared) return f.pressures[grey];
    return A::store((grey - f.threshold) * f.imageWeight);
}

// The same with the difference turned round, as "Opened" forms it.
template <typename A, typename Frame>
float pressureFromThreshold(std::int32_t ix, std::int32_t iy, const Frame& f) {
    const int grey = f.image.sample(ix, iy);
    if constexpr (Frame::kPrepared) return f.pressures[grey];
    return A::store((f.threshold - grey) * f.imageWeight);
}

struct CenterPoint {
    static constexpr bool kPressureFromThreshold = false;

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
    static constexpr bool kPressureFromThreshold = false;

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

// The radial halves of a plain step of "Standard", formed for all points before the forces.
std::array<StandardPoint::Radial, WidenedLevel::kCapacity> standardRadials;

struct BalloonPoint {
    static constexpr bool kPressureFromThreshold = false;

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
    static constexpr bool kPressureFromThreshold = true;

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
    const StepFrame<C, false> frame{StepParameters(k)};
    const DirectionTable* directions = directionTable.forPointCount(k.PointCount);
    return Model::template update<CheckedArithmetic>(frame, Ring::around(i, k.PointCount),
                                                     directions);
}

template <typename Model>
double updateChecked(KONTUR& k, std::int32_t i) {
    return (k.Iteration & 1) != 0 ? updateChecked<Model, 1>(k, i) : updateChecked<Model, 0>(k, i);
}

// Visits points first .. last − 1 in ascending order and sums their energy terms, then
// divides and advances. Inlined into each step, and so compiled for each of its targets. On the
// checked path the sum goes into k.Energy point by point, so that an error leaves the partial sum;
// the plain path cannot fail and sums in a local.
template <typename Model, std::int32_t C>
[[gnu::always_inline]] inline void stepPoints(KONTUR& k, std::int32_t first, std::int32_t last,
                                              double divisor) {
    const StepParameters parameters(k);
    const DirectionTable* directions = directionTable.forPointCount(k.PointCount);
    k.Energy = 0;
    Ring ring = Ring::around(first, parameters.n);
    if (parameters.inRange(C)) {
        PressureTable& table = Model::kPressureFromThreshold ? openedPressureTable : pressureTable;
        const StepFrame<C, true> frame(
            parameters, table.forWeights(parameters.threshold, parameters.imageWeight));
        double energy = 0;
        if constexpr (std::is_same_v<Model, StandardPoint>) {
            // Each half of a point is a long chain of dependent operations; two loops of
            // shorter chains let the processor overlap more points. Nothing can fail here, so
            // the order in which the points' operations run makes no difference.
            for (std::int32_t i = first; i < last; ++i)
                standardRadials[i] = StandardPoint::radial<PlainArithmetic>(frame, i);
            for (std::int32_t i = first; i < last; ++i, ring = ring.following(frame.n))
                energy += StandardPoint::forces<PlainArithmetic>(frame, ring, standardRadials[i]);
        } else {
            for (std::int32_t i = first; i < last; ++i, ring = ring.following(frame.n))
                energy += Model::template update<PlainArithmetic>(frame, ring, directions);
        }
        k.Energy = energy;
    } else {
        const StepFrame<C, false> frame(parameters);
        for (std::int32_t i = first; i < last; ++i, ring = ring.following(frame.n))
            k.Energy += Model::template update<CheckedArithmetic>(frame, ring, directions);
    }
    k.Energy = divideChecked(k.Energy, divisor);
    k.Iteration = static_cast<std::int32_t>(static_cast<std::uint32_t>(k.Iteration) + 1u);
}

template <typename Model>
[[gnu::always_inline]] inline void stepPoints(KONTUR& k, std::int32_t first, std::int32_t last,
                                              double divisor) {
    if ((k.Iteration & 1) != 0) {
        stepPoints<Model, 1>(k, first, last, divisor);
    } else {
        stepPoints<Model, 0>(k, first, last, divisor);
    }
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

ORVIK_STEP_TARGETS void StepCenterPoint(KONTUR& k) {
    stepPoints<CenterPoint>(k, 0, k.PointCount, k.PointCount);
}

ORVIK_STEP_TARGETS void StepStandard(KONTUR& k) {
    stepPoints<StandardPoint>(k, 0, k.PointCount, k.PointCount);
}

ORVIK_STEP_TARGETS void StepBalloon(KONTUR& k) {
    stepPoints<BalloonPoint>(k, 0, k.PointCount, k.PointCount);
}

// The end points stay where Init put them; only the N − 2 inner points move.
ORVIK_STEP_TARGETS void StepOpened(KONTUR& k) {
    stepPoints<OpenedPoint>(k, 1, k.PointCount - 1, k.PointCount - 2.0);
}

} // namespace orvik
