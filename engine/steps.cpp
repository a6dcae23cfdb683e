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
#include <cmath>

namespace orvik {

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

// Everything one step reads besides the points, taken from the record when the step starts:
// nothing changes them while it runs. Kept in a local object, so the compiler knows that the
// stores into the point buffer leave them alone.
struct StepFrame {
    float* points;
    std::int32_t n;
    std::int32_t c; // the current level
    std::int32_t p; // the older level, which receives the new values
    GreyView image;
    float tension, rigidity, radius, formWeight, imageWeight, threshold, gradientWeight;
    float centerX, centerY;
    double inertia, viscosity;
    double damping;       // inertia + viscosity, the divisor of the time step
    double radiusSquared; // radius · radius

    explicit StepFrame(const KONTUR& k)
        : points(k.Points.get()), n(k.PointCount), c(k.Iteration & 1), p(1 - (k.Iteration & 1)),
          image(currentGreyView()), tension(k.Tension), rigidity(k.Rigidity), radius(k.Radius),
          formWeight(k.FormWeight), imageWeight(k.ImageWeight), threshold(k.Threshold),
          gradientWeight(k.GradientWeight), centerX(k.CenterX), centerY(k.CenterY),
          inertia(k.Inertia), viscosity(k.Viscosity), damping(inertia + viscosity),
          radiusSquared(static_cast<double>(radius) * radius) {}

    float x(std::int32_t i) const { return points[4 * i + c]; }
    float y(std::int32_t i) const { return points[4 * i + 2 + c]; }
    float olderX(std::int32_t i) const { return points[4 * i + p]; }
    float olderY(std::int32_t i) const { return points[4 * i + 2 + p]; }
    void setX(std::int32_t i, float v) const { points[4 * i + p] = v; }
    void setY(std::int32_t i, float v) const { points[4 * i + 2 + p] = v; }

    // True when no operation of this step can raise a floating-point error, so that it may
    // run with PlainArithmetic. Every coordinate and weight then has a magnitude of at most
    // 2^20, the divisors radius and inertia + viscosity at least 2^-20, and the floors keep
    // the other divisors at 0.2 or more; the largest intermediate, (q / radius)·FormWeight,
    // stays below 2^85 and the time step's quotient below 2^106, far from the float limit
    // (2^128) and from the 2^63 of a truncation. Any state outside these bounds, and point
    // counts below 3, take the checked path.
    bool inRange() const {
        constexpr double kLarge = 0x1p20;
        constexpr double kSmall = 0x1p-20;
        if (n < 3 || points == nullptr) return false;
        bool small = true;
        for (std::int32_t j = 0; j < 4 * n; ++j)
            small &= std::fabs(points[j]) <= kLarge; // false for a NaN too
        for (const double weight : {tension, rigidity, radius, formWeight, imageWeight, threshold,
                                    gradientWeight, centerX, centerY})
            small &= std::fabs(weight) <= kLarge;
        small &= std::fabs(inertia) <= kLarge && std::fabs(viscosity) <= kLarge;
        return small && std::fabs(damping) >= kSmall && std::fabs(radius) >= kSmall;
    }
};

// Neighbour indices of a closed contour: i ± 1 and i ± 2 modulo n, for n ≥ 1.
struct Ring {
    std::int32_t prev2, prev, next, next2;

    Ring(std::int32_t i, std::int32_t n)
        : prev2(wrap(i - 2, n)), prev(wrap(i - 1, n)), next(wrap(i + 1, n)), next2(wrap(i + 2, n)) {
    }

    // j lies within −2 .. n + 1.
    static std::int32_t wrap(std::int32_t j, std::int32_t n) {
        if (n < 2) return 0;
        if (j < 0) return j + n;
        return j >= n ? j - n : j;
    }
};

// Twice the tension times the second difference: pulls toward the neighbours' midpoint.
template <typename A>
float tensionTerm(float prev, float now, float next, float tension) {
    return A::store(((static_cast<double>(prev) + next) * 2 - 4.0 * now) * tension);
}

// Minus twice the rigidity times the fourth difference: straightens the contour.
template <typename A>
float rigidityTerm(float prev2, float prev, float now, float next, float next2, float rigidity) {
    return A::store(((static_cast<double>(prev) + next) * 8 -
                     (static_cast<double>(prev2) + next2) * 2 - 12.0 * now) *
                    rigidity);
}

// Solves inertia·(new − 2·now + older) + viscosity·(new − now) = force for new.
template <typename A>
float integrate(float now, float older, float force, const StepFrame& f) {
    return A::store(
        A::divide((2.0 * now - older) * f.inertia + f.viscosity * now + force, f.damping));
}

template <typename A>
float scaled(float unit, float magnitude) {
    return A::store(static_cast<double>(unit) * magnitude);
}

double squaredForce(float fx, float fy) {
    return static_cast<double>(fx) * fx + static_cast<double>(fy) * fy;
}

// Image pressure: grey level against the threshold, signed by the weight.
template <typename A>
float pressure(std::int32_t ix, std::int32_t iy, const StepFrame& f) {
    return A::store((f.image.sample(ix, iy) - static_cast<double>(f.threshold)) * f.imageWeight);
}

struct CenterPoint {
    template <typename A>
    static double update(const StepFrame& f, std::int32_t i, const DirectionTable* directions) {
        const Ring ring(i, f.n);
        const float r = f.x(i);

        float sinTheta, cosTheta;
        if (directions != nullptr) {
            sinTheta = directions->sin(i);
            cosTheta = directions->cos(i);
        } else {
            const float theta = A::store(i * kTwoPi / f.n);
            sinTheta = A::store(std::sin(static_cast<double>(theta)));
            cosTheta = A::store(std::cos(static_cast<double>(theta)));
        }
        const float px = A::store(static_cast<double>(r) * cosTheta + f.centerX);
        const float py = A::store(static_cast<double>(r) * sinTheta + f.centerY);
        const std::int32_t ix = A::trunc(px);
        const std::int32_t iy = A::trunc(py);

        const float image = pressure<A>(ix, iy, f);
        const float tension = tensionTerm<A>(f.x(ring.prev), r, f.x(ring.next), f.tension);
        const float rigidity = rigidityTerm<A>(f.x(ring.prev2), f.x(ring.prev), r, f.x(ring.next),
                                               f.x(ring.next2), f.rigidity);
        float ex = 0;
        float ey = 0;
        edgeForce<A>(f.image, f.gradientWeight, ix, iy, ex, ey);
        const float edge =
            A::store(static_cast<double>(ex) * cosTheta + static_cast<double>(ey) * sinTheta);
        const float divisor = r > kFloor ? r : kFloor;
        const float shape =
            A::store((f.radiusSquared / divisor - A::divide(static_cast<double>(r) * r, f.radius)) *
                     f.formWeight);
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
    template <typename A>
    static double update(const StepFrame& f, std::int32_t i, const DirectionTable*) {
        const Ring ring(i, f.n);
        const float x = f.x(i);
        const float y = f.y(i);

        // Direction and distance from the centre; the floor keeps the divisions finite, and
        // a point on the centre gets a zero unit vector.
        const float dx = A::store(static_cast<double>(x) - f.centerX);
        const float dy = A::store(static_cast<double>(y) - f.centerY);
        const float q = A::store(static_cast<double>(dx) * dx + static_cast<double>(dy) * dy);
        float d = A::store(std::sqrt(static_cast<double>(q)));
        if (d < kFloor) d = kFloor;
        const float ux = A::store(static_cast<double>(dx) / d);
        const float uy = A::store(static_cast<double>(dy) / d);
        const std::int32_t ix = A::trunc(x);
        const std::int32_t iy = A::trunc(y);

        const float e = pressure<A>(ix, iy, f);
        const float imageX = scaled<A>(ux, e);
        const float imageY = scaled<A>(uy, e);
        const float tensionX = tensionTerm<A>(f.x(ring.prev), x, f.x(ring.next), f.tension);
        const float tensionY = tensionTerm<A>(f.y(ring.prev), y, f.y(ring.next), f.tension);
        const float rigidityX = rigidityTerm<A>(f.x(ring.prev2), f.x(ring.prev), x, f.x(ring.next),
                                                f.x(ring.next2), f.rigidity);
        const float rigidityY = rigidityTerm<A>(f.y(ring.prev2), f.y(ring.prev), y, f.y(ring.next),
                                                f.y(ring.next2), f.rigidity);
        float ex = 0;
        float ey = 0;
        edgeForce<A>(f.image, f.gradientWeight, ix, iy, ex, ey);
        // Toward the preferred radius: the raised distance divides, the unchanged square
        // does not.
        const float shape = A::store((f.radiusSquared / d - A::divide(q, f.radius)) * f.formWeight);
        const float shapeX = scaled<A>(ux, shape);
        const float shapeY = scaled<A>(uy, shape);

        const float fx = A::store(static_cast<double>(imageX) + tensionX + rigidityX + shapeX + ex);
        const float fy = A::store(static_cast<double>(imageY) + tensionY + rigidityY + shapeY + ey);
        f.setX(i, integrate<A>(x, f.olderX(i), fx, f));
        f.setY(i, integrate<A>(y, f.olderY(i), fy, f));
        return squaredForce(fx, fy);
    }
};

struct BalloonPoint {
    template <typename A>
    static double update(const StepFrame& f, std::int32_t i, const DirectionTable*) {
        const Ring ring(i, f.n);
        const float x = f.x(i);
        const float y = f.y(i);

        // The chord between the neighbours turned a quarter clockwise on the screen: outward
        // on a contour that runs counter-clockwise. Coinciding neighbours give a zero normal.
        const double chordY = static_cast<double>(f.y(ring.prev)) - f.y(ring.next);
        const double chordX = static_cast<double>(f.x(ring.next)) - f.x(ring.prev);
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
        edgeForce<A>(f.image, f.gradientWeight, ix, iy, ex, ey);

        const float fx = A::store(static_cast<double>(imageX) + tensionX + rigidityX + ex);
        const float fy = A::store(static_cast<double>(imageY) + tensionY + rigidityY + ey);
        f.setX(i, integrate<A>(x, f.olderX(i), fx, f));
        f.setY(i, integrate<A>(y, f.olderY(i), fy, f));
        return squaredForce(fx, fy);
    }
};

struct OpenedPoint {
    template <typename A>
    static double update(const StepFrame& f, std::int32_t i, const DirectionTable*) {
        const std::int32_t prev = i - 1;
        const std::int32_t next = i + 1;
        const float x = f.x(i);
        const float y = f.y(i);

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
        edgeForce<A>(f.image, f.gradientWeight, ix, iy, ex, ey);

        // Along the grey gradient, toward the threshold's grey level.
        const GreyView& image = f.image;
        const int gx =
            image.sample(shiftedPixel(ix, 1), iy) - image.sample(shiftedPixel(ix, -1), iy);
        const int gy =
            image.sample(ix, shiftedPixel(iy, 1)) - image.sample(ix, shiftedPixel(iy, -1));
        const float e =
            A::store((static_cast<double>(f.threshold) - image.sample(ix, iy)) * f.imageWeight);
        const float imageX = A::store(static_cast<double>(gx) * e * kEdgeScale);
        const float imageY = A::store(static_cast<double>(gy) * e * kEdgeScale);

        const float fx = A::store(static_cast<double>(imageX) + tensionX + rigidityX + ex);
        const float fy = A::store(static_cast<double>(imageY) + tensionY + rigidityY + ey);
        f.setX(i, integrate<A>(x, f.olderX(i), fx, f));
        f.setY(i, integrate<A>(y, f.olderY(i), fy, f));
        return squaredForce(fx, fy);
    }
};

// The checked update of one point on its own, as the tests drive it.
template <typename Model>
double updateChecked(KONTUR& k, std::int32_t i) {
    const StepFrame frame(k);
    const DirectionTable* directions = directionTable.forPointCount(k.PointCount);
    return Model::template update<CheckedArithmetic>(frame, i, directions);
}

// Visits points first .. last − 1 in ascending order and sums their energy terms, then
// divides and advances. On the checked path the sum goes into k.Energy point by point, so
// that an error leaves the partial sum; the plain path cannot fail and sums in a local.
template <typename Model>
void stepPoints(KONTUR& k, std::int32_t first, std::int32_t last, double divisor) {
    const StepFrame frame(k);
    const DirectionTable* directions = directionTable.forPointCount(k.PointCount);
    k.Energy = 0;
    if (frame.inRange()) {
        double energy = 0;
        for (std::int32_t i = first; i < last; ++i)
            energy += Model::template update<PlainArithmetic>(frame, i, directions);
        k.Energy = energy;
    } else {
        for (std::int32_t i = first; i < last; ++i)
            k.Energy += Model::template update<CheckedArithmetic>(frame, i, directions);
    }
    k.Energy = divideChecked(k.Energy, divisor);
    k.Iteration = static_cast<std::int32_t>(static_cast<std::uint32_t>(k.Iteration) + 1u);
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
    stepPoints<CenterPoint>(k, 0, k.PointCount, k.PointCount);
}

void StepStandard(KONTUR& k) {
    stepPoints<StandardPoint>(k, 0, k.PointCount, k.PointCount);
}

void StepBalloon(KONTUR& k) {
    stepPoints<BalloonPoint>(k, 0, k.PointCount, k.PointCount);
}

// The end points stay where Init put them; only the N − 2 inner points move.
void StepOpened(KONTUR& k) {
    stepPoints<OpenedPoint>(k, 1, k.PointCount - 1, k.PointCount - 2.0);
}

} // namespace orvik
