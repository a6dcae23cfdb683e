// The reference steps: one iteration of each contour model, point by point, with every
// check. Internal, image, shape and edge forces are summed per point, then an explicit damped
// second-order time step goes into the older time level.
//
// Every named intermediate is rounded to a float in the order the terms are formed. Each
// point update is written once, as a template over the arithmetic: with CheckedArithmetic a
// diverging contour stops at the same operation, with the same message, and leaves the
// points written so far in place. The fast path (fast_steps.cpp) computes the same formulas
// lane by lane and must give the same bits.
#include "checked_float.h"
#include "kontur.h"
#include "kontur_internal.h"
#include "step_paths.h"
#include "step_scratch.h"

#include <cmath>

namespace orvik {

namespace {

// The parameters with the point buffer's slots, for the reference path. Kept in a local object,
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

// Tension and rigidity of a point of a closed ring, x then y, each rounded as it is stored.
struct InternalForces {
    float tensionX, tensionY, rigidityX, rigidityY;
};
template <typename A, typename Frame>
InternalForces internalForces(const Frame& f, const Ring& ring, double x, double y) {
    const float tensionX = tensionTerm<A>(f.x(ring.prev), x, f.x(ring.next), f.tension);
    const float tensionY = tensionTerm<A>(f.y(ring.prev), y, f.y(ring.next), f.tension);
    const float rigidityX = rigidityTerm<A>(f.x(ring.prev2), f.x(ring.prev), x, f.x(ring.next),
                                            f.x(ring.next2), f.rigidity);
    const float rigidityY = rigidityTerm<A>(f.y(ring.prev2), f.y(ring.prev), y, f.y(ring.next),
                                            f.y(ring.next2), f.rigidity);
    return {tensionX, tensionY, rigidityX, rigidityY};
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
    const int grey = greyLevel(f.image, ix, iy);
    return A::store((grey - f.threshold) * f.imageWeight);
}

// The same with the difference turned round, as "Opened" forms it.
template <typename A, typename Frame>
float pressureFromThreshold(std::int32_t ix, std::int32_t iy, const Frame& f) {
    const int grey = greyLevel(f.image, ix, iy);
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
        const InternalForces in = internalForces<A>(f, ring, x, y);
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
            A::store(static_cast<double>(r.imageX) + in.tensionX + in.rigidityX + shapeX + ex);
        const float fy =
            A::store(static_cast<double>(r.imageY) + in.tensionY + in.rigidityY + shapeY + ey);
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
        const InternalForces in = internalForces<A>(f, ring, x, y);
        float ex = 0;
        float ey = 0;
        edgeForceOrZero<A>(f.image, f.gradientWeight, ix, iy, ex, ey);

        const float fx = A::store(static_cast<double>(imageX) + in.tensionX + in.rigidityX + ex);
        const float fy = A::store(static_cast<double>(imageY) + in.tensionY + in.rigidityY + ey);
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
            greyLevel(image, shiftedPixel(ix, 1), iy) - greyLevel(image, shiftedPixel(ix, -1), iy);
        const int gy =
            greyLevel(image, ix, shiftedPixel(iy, 1)) - greyLevel(image, ix, shiftedPixel(iy, -1));
        const float e = pressureFromThreshold<A>(ix, iy, f);
        const float imageX = A::store(static_cast<double>(gx) * e * kEdgeScale);
        const float imageY = A::store(static_cast<double>(gy) * e * kEdgeScale);

        const float fx = A::store(static_cast<double>(imageX) + tensionX + rigidityX + ex);
        const float fy = A::store(static_cast<double>(imageY) + tensionY + rigidityY + ey);
        integrate<A>(f, i, x, y, fx, fy);
        return squaredForce(fx, fy);
    }
};

// The update of one point on its own, as the tests drive it. The directions are worked out
// at the point, as the table would hold them.
template <typename Model, std::int32_t C>
double updateChecked(KONTUR& k, std::int32_t i) {
    const StepFrame<C> frame{StepParameters(k)};
    return Model::template update<CheckedArithmetic>(frame, Ring::around(i, k.PointCount), nullptr);
}

template <typename Model>
double updateChecked(KONTUR& k, std::int32_t i) {
    return currentLevel(k) != 0 ? updateChecked<Model, 1>(k, i) : updateChecked<Model, 0>(k, i);
}

template <typename Model, std::int32_t C>
void stepChecked(KONTUR& k, MovablePoints movable, const StepParameters& parameters,
                 const DirectionTable* directions) {
    const StepFrame<C> frame(parameters);
    Ring ring = Ring::around(movable.first, parameters.n);
    for (std::int32_t i = movable.first; i < movable.last; ++i, ring = ring.following(frame.n))
        k.Energy += Model::template update<CheckedArithmetic>(frame, ring, directions);
}

template <typename Model>
void stepChecked(KONTUR& k, MovablePoints movable, const StepParameters& parameters,
                 const DirectionTable* directions) {
    if (currentLevel(k) != 0) {
        stepChecked<Model, 1>(k, movable, parameters, directions);
    } else {
        stepChecked<Model, 0>(k, movable, parameters, directions);
    }
}

} // namespace

void referenceStep(KONTUR& k, std::int32_t model, const StepParameters& parameters,
                   const DirectionTable* directions) {
    const MovablePoints movable = movablePoints(model, parameters.n);
    switch (model) {
    case 1:
        stepChecked<CenterPoint>(k, movable, parameters, directions);
        break;
    case 2:
        stepChecked<StandardPoint>(k, movable, parameters, directions);
        break;
    case 3:
        stepChecked<BalloonPoint>(k, movable, parameters, directions);
        break;
    default:
        stepChecked<OpenedPoint>(k, movable, parameters, directions);
        break;
    }
}

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

} // namespace orvik
