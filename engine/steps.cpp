// One iteration of each contour model: internal, image, shape and edge forces summed per
// point, then an explicit damped second-order time step into the older time level.
//
// Every named intermediate is rounded to a float through toSingleChecked in the order the
// terms are formed, so a diverging contour stops at the same operation, with the same
// message, and leaves the points written so far in place.
#include "checked_float.h"
#include "kontur.h"
#include "kontur_internal.h"

#include <cmath>

namespace orvik {

namespace {

// The slots of point i in the point buffer, current level c and older level p = 1 − c.
struct PointSlots {
    float* points;
    std::int32_t c;
    std::int32_t p;

    explicit PointSlots(KONTUR& k)
        : points(k.Points.get()), c(k.Iteration & 1), p(1 - (k.Iteration & 1)) {}

    float x(std::int32_t i) const { return points[4 * i + c]; }
    float y(std::int32_t i) const { return points[4 * i + 2 + c]; }
    float olderX(std::int32_t i) const { return points[4 * i + p]; }
    float olderY(std::int32_t i) const { return points[4 * i + 2 + p]; }
    void setX(std::int32_t i, float v) const { points[4 * i + p] = v; }
    void setY(std::int32_t i, float v) const { points[4 * i + 2 + p] = v; }
};

// Neighbour indices of a closed contour.
struct Ring {
    std::int32_t prev2, prev, next, next2;

    Ring(std::int32_t i, std::int32_t n)
        : prev2((n + i - 2) % n), prev((n + i - 1) % n), next((i + 1) % n), next2((i + 2) % n) {}
};

// Twice the tension times the second difference: pulls toward the neighbours' midpoint.
float tensionTerm(float prev, float now, float next, float tension) {
    return toSingleChecked(((static_cast<double>(prev) + next) * 2 - 4.0 * now) * tension);
}

// Minus twice the rigidity times the fourth difference: straightens the contour.
float rigidityTerm(float prev2, float prev, float now, float next, float next2, float rigidity) {
    return toSingleChecked(((static_cast<double>(prev) + next) * 8 -
                            (static_cast<double>(prev2) + next2) * 2 - 12.0 * now) *
                           rigidity);
}

// Image pressure: grey level against the threshold, signed by the weight.
float pressure(std::int32_t ix, std::int32_t iy, const KONTUR& k) {
    return toSingleChecked((Sample(ix, iy) - static_cast<double>(k.Threshold)) * k.ImageWeight);
}

// Solves inertia·(new − 2·now + older) + viscosity·(new − now) = force for new.
float integrate(float now, float older, float force, const KONTUR& k) {
    const double inertia = k.Inertia;
    const double viscosity = k.Viscosity;
    return toSingleChecked(divideChecked((2.0 * now - older) * inertia + viscosity * now + force,
                                         inertia + viscosity));
}

float scaled(float unit, float magnitude) {
    return toSingleChecked(static_cast<double>(unit) * magnitude);
}

double squaredForce(float fx, float fy) {
    return static_cast<double>(fx) * fx + static_cast<double>(fy) * fy;
}

// Visits points first .. last − 1 in ascending order, summing their energy terms into
// k.Energy as it goes so that an error leaves the partial sum, then divides and advances.
template <typename Update>
void stepPoints(KONTUR& k, std::int32_t first, std::int32_t last, double divisor, Update update) {
    k.Energy = 0;
    for (std::int32_t i = first; i < last; ++i) {
        k.Energy += update(k, i);
    }
    k.Energy = divideChecked(k.Energy, divisor);
    k.Iteration = static_cast<std::int32_t>(static_cast<std::uint32_t>(k.Iteration) + 1u);
}

} // namespace

double UpdateCenterPoint(KONTUR& k, std::int32_t i) {
    const PointSlots s(k);
    const Ring ring(i, k.PointCount);
    const float r = s.x(i);

    const float theta = toSingleChecked(i * kTwoPi / k.PointCount);
    const float sinTheta = toSingleChecked(std::sin(static_cast<double>(theta)));
    const float cosTheta = toSingleChecked(std::cos(static_cast<double>(theta)));
    const float px = toSingleChecked(static_cast<double>(r) * cosTheta + k.CenterX);
    const float py = toSingleChecked(static_cast<double>(r) * sinTheta + k.CenterY);
    const std::int32_t ix = truncChecked(px);
    const std::int32_t iy = truncChecked(py);

    const float image = pressure(ix, iy, k);
    const float tension = tensionTerm(s.x(ring.prev), r, s.x(ring.next), k.Tension);
    const float rigidity = rigidityTerm(s.x(ring.prev2), s.x(ring.prev), r, s.x(ring.next),
                                        s.x(ring.next2), k.Rigidity);
    float ex = 0;
    float ey = 0;
    EdgeForce(k, ix, iy, ex, ey);
    const float edge =
        toSingleChecked(static_cast<double>(ex) * cosTheta + static_cast<double>(ey) * sinTheta);
    const float divisor = r > kFloor ? r : kFloor;
    const double radius = k.Radius;
    const float shape = toSingleChecked(
        (radius * radius / divisor - divideChecked(static_cast<double>(r) * r, radius)) *
        k.FormWeight);
    const float force =
        toSingleChecked(static_cast<double>(image) + tension + rigidity + shape + edge);

    float next = integrate(r, s.olderX(i), force, k);
    if (next > kMaxRadius) {
        next = kMaxRadius;
    } else if (next < kFloor) {
        next = kFloor;
    }
    s.setX(i, next);
    return static_cast<double>(force) * force;
}

double UpdateStandardPoint(KONTUR& k, std::int32_t i) {
    const PointSlots s(k);
    const Ring ring(i, k.PointCount);
    const float x = s.x(i);
    const float y = s.y(i);

    // Direction and distance from the centre; the floor keeps the divisions finite, and a
    // point on the centre gets a zero unit vector.
    const float dx = toSingleChecked(static_cast<double>(x) - k.CenterX);
    const float dy = toSingleChecked(static_cast<double>(y) - k.CenterY);
    const float q = toSingleChecked(static_cast<double>(dx) * dx + static_cast<double>(dy) * dy);
    float d = toSingleChecked(std::sqrt(static_cast<double>(q)));
    if (d < kFloor) d = kFloor;
    const float ux = toSingleChecked(static_cast<double>(dx) / d);
    const float uy = toSingleChecked(static_cast<double>(dy) / d);
    const std::int32_t ix = truncChecked(x);
    const std::int32_t iy = truncChecked(y);

    const float e = pressure(ix, iy, k);
    const float imageX = scaled(ux, e);
    const float imageY = scaled(uy, e);
    const float tensionX = tensionTerm(s.x(ring.prev), x, s.x(ring.next), k.Tension);
    const float tensionY = tensionTerm(s.y(ring.prev), y, s.y(ring.next), k.Tension);
    const float rigidityX = rigidityTerm(s.x(ring.prev2), s.x(ring.prev), x, s.x(ring.next),
                                         s.x(ring.next2), k.Rigidity);
    const float rigidityY = rigidityTerm(s.y(ring.prev2), s.y(ring.prev), y, s.y(ring.next),
                                         s.y(ring.next2), k.Rigidity);
    float ex = 0;
    float ey = 0;
    EdgeForce(k, ix, iy, ex, ey);
    // Toward the preferred radius: the raised distance divides, the unchanged square does not.
    const double radius = k.Radius;
    const float shape =
        toSingleChecked((radius * radius / d - divideChecked(q, radius)) * k.FormWeight);
    const float shapeX = scaled(ux, shape);
    const float shapeY = scaled(uy, shape);

    const float fx =
        toSingleChecked(static_cast<double>(imageX) + tensionX + rigidityX + shapeX + ex);
    const float fy =
        toSingleChecked(static_cast<double>(imageY) + tensionY + rigidityY + shapeY + ey);
    s.setX(i, integrate(x, s.olderX(i), fx, k));
    s.setY(i, integrate(y, s.olderY(i), fy, k));
    return squaredForce(fx, fy);
}

double UpdateBalloonPoint(KONTUR& k, std::int32_t i) {
    const PointSlots s(k);
    const Ring ring(i, k.PointCount);
    const float x = s.x(i);
    const float y = s.y(i);

    // The chord between the neighbours turned a quarter clockwise on the screen: outward on
    // a contour that runs counter-clockwise. Coinciding neighbours give a zero normal.
    const double chordY = static_cast<double>(s.y(ring.prev)) - s.y(ring.next);
    const double chordX = static_cast<double>(s.x(ring.next)) - s.x(ring.prev);
    float l = toSingleChecked(std::sqrt(chordY * chordY + chordX * chordX));
    if (l < kFloor) l = kFloor;
    const float nx = toSingleChecked(chordY / l);
    const float ny = toSingleChecked(chordX / l);
    const std::int32_t ix = truncChecked(x);
    const std::int32_t iy = truncChecked(y);

    const float e = pressure(ix, iy, k);
    const float imageX = scaled(nx, e);
    const float imageY = scaled(ny, e);
    const float tensionX = tensionTerm(s.x(ring.prev), x, s.x(ring.next), k.Tension);
    const float tensionY = tensionTerm(s.y(ring.prev), y, s.y(ring.next), k.Tension);
    const float rigidityX = rigidityTerm(s.x(ring.prev2), s.x(ring.prev), x, s.x(ring.next),
                                         s.x(ring.next2), k.Rigidity);
    const float rigidityY = rigidityTerm(s.y(ring.prev2), s.y(ring.prev), y, s.y(ring.next),
                                         s.y(ring.next2), k.Rigidity);
    float ex = 0;
    float ey = 0;
    EdgeForce(k, ix, iy, ex, ey);

    const float fx = toSingleChecked(static_cast<double>(imageX) + tensionX + rigidityX + ex);
    const float fy = toSingleChecked(static_cast<double>(imageY) + tensionY + rigidityY + ey);
    s.setX(i, integrate(x, s.olderX(i), fx, k));
    s.setY(i, integrate(y, s.olderY(i), fy, k));
    return squaredForce(fx, fy);
}

double UpdateOpenedPoint(KONTUR& k, std::int32_t i) {
    const PointSlots s(k);
    const std::int32_t prev = i - 1;
    const std::int32_t next = i + 1;
    const float x = s.x(i);
    const float y = s.y(i);

    const std::int32_t ix = truncChecked(x);
    const std::int32_t iy = truncChecked(y);
    const float tensionX = tensionTerm(s.x(prev), x, s.x(next), k.Tension);
    const float tensionY = tensionTerm(s.y(prev), y, s.y(next), k.Tension);
    // The first and the last movable point lack a second neighbour: no rigidity there.
    float rigidityX = 0;
    float rigidityY = 0;
    if (i - 2 >= 0 && i + 2 < k.PointCount) {
        rigidityX = rigidityTerm(s.x(i - 2), s.x(prev), x, s.x(next), s.x(i + 2), k.Rigidity);
        rigidityY = rigidityTerm(s.y(i - 2), s.y(prev), y, s.y(next), s.y(i + 2), k.Rigidity);
    }
    float ex = 0;
    float ey = 0;
    EdgeForce(k, ix, iy, ex, ey);

    // Along the grey gradient, toward the threshold's grey level.
    const int gx = Sample(shiftedPixel(ix, 1), iy) - Sample(shiftedPixel(ix, -1), iy);
    const int gy = Sample(ix, shiftedPixel(iy, 1)) - Sample(ix, shiftedPixel(iy, -1));
    const float e =
        toSingleChecked((static_cast<double>(k.Threshold) - Sample(ix, iy)) * k.ImageWeight);
    const float imageX = toSingleChecked(static_cast<double>(gx) * e * kEdgeScale);
    const float imageY = toSingleChecked(static_cast<double>(gy) * e * kEdgeScale);

    const float fx = toSingleChecked(static_cast<double>(imageX) + tensionX + rigidityX + ex);
    const float fy = toSingleChecked(static_cast<double>(imageY) + tensionY + rigidityY + ey);
    s.setX(i, integrate(x, s.olderX(i), fx, k));
    s.setY(i, integrate(y, s.olderY(i), fy, k));
    return squaredForce(fx, fy);
}

void StepCenterPoint(KONTUR& k) {
    stepPoints(k, 0, k.PointCount, k.PointCount, UpdateCenterPoint);
}

void StepStandard(KONTUR& k) {
    stepPoints(k, 0, k.PointCount, k.PointCount, UpdateStandardPoint);
}

void StepBalloon(KONTUR& k) {
    stepPoints(k, 0, k.PointCount, k.PointCount, UpdateBalloonPoint);
}

// The end points stay where Init put them; only the N − 2 inner points move.
void StepOpened(KONTUR& k) {
    stepPoints(k, 1, k.PointCount - 1, k.PointCount - 2.0, UpdateOpenedPoint);
}

} // namespace orvik
