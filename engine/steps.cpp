// The dispatch of the steps: each step takes the fast path (fast_steps.cpp) where its inputs
// cannot reach the limits of the checked arithmetic, and the reference path
// (reference_steps.cpp) otherwise; both give the same bits. Also the one place where steps
// begin, and so where the scratch decides what it keeps of the picture.
#include "checked_float.h"
#include "kontur.h"
#include "kontur_internal.h"
#include "step_paths.h"
#include "step_scratch.h"

#include <cstdint>

namespace orvik {

namespace {

// Advances Iteration by `steps`, wrapping like the 32-bit counter it is.
void countSteps(KONTUR& k, std::int64_t steps) {
    k.Iteration = static_cast<std::int32_t>(static_cast<std::uint32_t>(k.Iteration) +
                                            static_cast<std::uint32_t>(steps));
}

// Up to `count` steps of `model`, each followed by the energy divided and Iteration advanced;
// returns how many were done. The fast path runs as many as it can keep in range; when it
// declines at once (having written nothing but its rows), one step takes the reference path.
std::int64_t stepsOf(KONTUR& k, std::int32_t model, ScratchSpace& scratch, std::int64_t count) {
    const StepParameters parameters(k);
    k.Energy = 0;
    double energy = 0;
    std::int64_t done = 0;
    if (parameters.weightsInRange()) done = fastSteps(k, model, parameters, scratch, count, energy);
    if (done > 0) {
        k.Energy = energy;
    } else {
        const std::int32_t read = currentLevel(k);
        referenceStep(k, model, parameters, scratch.directions.forPointCount(k.PointCount));
        if (!parameters.pinned.empty()) holdPinned(parameters, model, read);
        done = 1;
    }
    k.Energy = divideChecked(k.Energy, movablePoints(model, k.PointCount).energyDivisor);
    countSteps(k, done);
    return done;
}

// `count` steps of `model` with the scratch begun for them.
void steps(KONTUR& k, std::int32_t model, StepScratch& scratch, std::int64_t count,
           bool continuing) {
    ScratchSpace& space = scratch.space();
    space.beginSteps(currentGreyView(), k, continuing);
    while (count > 0)
        count -= stepsOf(k, model, space, count);
}

} // namespace

void holdPinned(const StepParameters& parameters, std::int32_t model, std::int32_t read) {
    const MovablePoints movable = movablePoints(model, parameters.n);
    float* points = parameters.points;
    for (const std::int32_t i : parameters.pinned) {
        if (i < movable.first || i >= movable.last) continue;
        points[xSlot(i, 1 - read)] = points[xSlot(i, read)];
        // Model 1 keeps its radius in x alone.
        if (model != 1) points[ySlot(i, 1 - read)] = points[ySlot(i, read)];
    }
}

void StepCenterPoint(KONTUR& k, StepScratch& scratch) {
    steps(k, 1, scratch, 1, false);
}

void StepStandard(KONTUR& k, StepScratch& scratch) {
    steps(k, 2, scratch, 1, false);
}

void StepBalloon(KONTUR& k, StepScratch& scratch) {
    steps(k, 3, scratch, 1, false);
}

void StepOpened(KONTUR& k, StepScratch& scratch) {
    steps(k, 4, scratch, 1, false);
}

void StepModel(KONTUR& k, StepScratch& scratch) {
    StepModelRepeatedly(k, scratch, 1);
}

void StepModelRepeatedly(KONTUR& k, StepScratch& scratch, std::int64_t count, bool continuing) {
    // Not set up yet: nothing to move.
    if (k.ModelKind < 1 || k.ModelKind > 4) return;
    steps(k, k.ModelKind, scratch, count, continuing);
}

void StepReference(KONTUR& k) {
    if (k.ModelKind < 1 || k.ModelKind > 4) return;
    k.Energy = 0;
    const StepParameters parameters(k);
    const std::int32_t read = currentLevel(k);
    referenceStep(k, k.ModelKind, parameters, nullptr);
    if (!parameters.pinned.empty()) holdPinned(parameters, k.ModelKind, read);
    k.Energy = divideChecked(k.Energy, movablePoints(k.ModelKind, k.PointCount).energyDivisor);
    countSteps(k, 1);
}

} // namespace orvik
