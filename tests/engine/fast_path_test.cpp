// The fast path against the reference steps over many steps, for every kernel set this
// processor runs: random states whose points lie inside the picture, on its border and
// outside it, on a textured picture, a tiny one and none, with and without the edge force.
// The runs are cut into pieces the way Run cuts them at its progress steps, so what the
// scratch remembers from one piece to the next is tested too.
#include "engine_test_support.h"
#include "kontur.h"
#include "kontur_internal.h"
#include "step_kernels.h"
#include "step_scratch.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <string>

namespace orvik {
namespace {

constexpr std::int32_t kSteps = 60;
constexpr std::int32_t kPiece = 7; // steps between two "progress steps"

// What a number of steps left: the state, and the error that ended them, if any.
struct Outcome {
    test::Snapshot state;
    std::string error;
    bool operator==(const Outcome&) const = default;
};

Outcome referenceSteps(const KONTUR& start) {
    KONTUR k = CopyKontur(start);
    std::string error;
    try {
        for (std::int32_t step = 0; step < kSteps; ++step)
            StepReference(k);
    } catch (const FloatingPointError& e) {
        error = e.what();
    }
    return {test::snapshot(k), error};
}

Outcome fastSteps(const KONTUR& start, const KernelSet& kernels) {
    KONTUR k = CopyKontur(start);
    StepScratch scratch;
    scratch.space().kernels = &kernels;
    std::string error;
    try {
        for (std::int32_t done = 0; done < kSteps; done += kPiece)
            StepModelRepeatedly(k, scratch, std::min(kPiece, kSteps - done), done > 0);
    } catch (const FloatingPointError& e) {
        error = e.what();
    }
    return {test::snapshot(k), error};
}

// A coordinate inside a picture of `size` pixels along its axis, within two pixels of one of
// its borders, or outside it, near or far.
float coordinate(std::mt19937& random, std::int32_t size) {
    const auto uniform = [&](float from, float to) {
        return std::uniform_real_distribution<float>(from, to)(random);
    };
    switch (random() % 3) {
    case 0:
        return uniform(0.0f, static_cast<float>(size));
    case 1:
        return random() % 2 == 0 ? uniform(-2.5f, 2.5f) : size + uniform(-2.5f, 2.5f);
    default:
        return random() % 2 == 0 ? uniform(-300.0f, -2.5f) : size + uniform(2.5f, 300.0f);
    }
}

// A model with random weights and every point placed by `coordinate`.
KONTUR randomState(std::mt19937& random, std::int32_t model, std::int32_t width,
                   std::int32_t height, bool edge) {
    const auto uniform = [&](float from, float to) {
        return std::uniform_real_distribution<float>(from, to)(random);
    };
    const auto corner = [&](std::int32_t size) {
        return static_cast<std::int32_t>(coordinate(random, std::max(size, 1)));
    };
    KONTUR k;
    test::init(k, test::Params{.x1 = corner(width),
                               .y1 = corner(height),
                               .x2 = corner(width),
                               .y2 = corner(height),
                               .model = model,
                               .points = static_cast<std::int32_t>(3 + random() % 60),
                               .tension = uniform(0.0f, 0.5f),
                               .rigidity = uniform(0.0f, 0.1f),
                               .radius = uniform(1.0f, 30.0f),
                               .form = uniform(0.0f, 0.1f),
                               .image = uniform(-0.5f, 0.5f),
                               .threshold = uniform(0.0f, 255.0f),
                               .gradient = edge ? uniform(0.0f, 5.0f) : 0.0f,
                               .inertia = uniform(0.0f, 2.0f),
                               .viscosity = uniform(0.1f, 2.0f)});
    for (std::int32_t i = 0; i < k.PointCount; ++i) {
        for (std::int32_t level = 0; level < 2; ++level) {
            pointX(k, i, level) = coordinate(random, width);
            pointY(k, i, level) = coordinate(random, height);
            // Model 1 keeps a radius in x, within its clamp.
            if (model == 1) pointX(k, i, level) = std::fabs(pointX(k, i, level) / 2) + 0.2f;
        }
    }
    return k;
}

// `start` with about a third of its points pinned, both levels of each set to its current one.
KONTUR withPins(const KONTUR& start, std::mt19937& random) {
    KONTUR k = CopyKontur(start);
    const std::int32_t c = currentLevel(k);
    for (std::int32_t i = 0; i < k.PointCount; ++i) {
        if (random() % 3 != 0) continue;
        k.Pinned.push_back(i);
        pointX(k, i, 1 - c) = pointX(k, i, c);
        pointY(k, i, 1 - c) = pointY(k, i, c);
    }
    return k;
}

// Whether every pinned point of `start` has, in both levels of `end`, the bits it started with.
bool pinsHeld(const KONTUR& start, const test::Snapshot& end) {
    const test::Snapshot begun = test::snapshot(start);
    const std::int32_t c = currentLevel(start);
    for (const std::int32_t i : start.Pinned)
        for (const std::int32_t level : {0, 1}) {
            if (end.points[xSlot(i, level)] != begun.points[xSlot(i, c)]) return false;
            if (start.ModelKind != 1 && end.points[ySlot(i, level)] != begun.points[ySlot(i, c)])
                return false;
        }
    return true;
}

TEST(FastPath, EveryKernelSetFollowsTheReferenceStepsOverManySteps) {
    struct Picture {
        const char* name;
        std::int32_t width, height; // 0: no picture
    };
    const Picture pictures[] = {{"textured", 61, 47}, {"3 x 3", 3, 3}, {"none", 0, 0}};
    std::mt19937 random(20261208);
    std::mt19937 pinRandom(29);
    int heldRuns = 0;
    int finished = 0;
    int compared = 0;
    for (const Picture& p : pictures) {
        std::optional<test::BoundImage> image;
        if (p.width > 0) {
            image.emplace(p.width, p.height, 0);
            // A dark disc on a light ground, with noise, so that the edge force acts.
            for (int y = 0; y < p.height; ++y) {
                for (int x = 0; x < p.width; ++x) {
                    const bool disc = (x - 30) * (x - 30) + (y - 23) * (y - 23) < 300;
                    image->set(x, y, static_cast<std::uint8_t>((disc ? 40 : 200) + random() % 16));
                }
            }
        } else {
            image.emplace(random() % 2 == 0);
        }
        for (std::int32_t model = 1; model <= 4; ++model) {
            for (const bool edge : {false, true}) {
                for (int round = 0; round < 6; ++round) {
                    SCOPED_TRACE(std::string(p.name) + ", model " + std::to_string(model) +
                                 (edge ? ", edge force" : "") + ", round " + std::to_string(round));
                    const KONTUR start = randomState(random, model, p.width, p.height, edge);
                    const Outcome expected = referenceSteps(start);
                    finished += expected.error.empty();
                    for (const KernelSet* kernels : runnableKernelSets()) {
                        ASSERT_TRUE(fastSteps(start, *kernels) == expected) << kernels->name;
                        ++compared;
                    }
                    // The same state with some points pinned (their own generator, so the
                    // states above stay as they were): every path holds them, and moves the
                    // others alike.
                    KONTUR pinned = withPins(start, pinRandom);
                    const Outcome held = referenceSteps(pinned);
                    if (held.error.empty()) {
                        ++heldRuns;
                        ASSERT_TRUE(pinsHeld(pinned, held.state)) << "reference";
                    }
                    for (const KernelSet* kernels : runnableKernelSets())
                        ASSERT_TRUE(fastSteps(pinned, *kernels) == held) << kernels->name;
                }
            }
        }
    }
    // Most states run their steps to the end: the comparison is not one of failures.
    EXPECT_GT(finished, 3 * 4 * 2 * 6 / 2);
    EXPECT_GE(compared, 3 * 4 * 2 * 6);
    EXPECT_GT(heldRuns, 3 * 4 * 2 * 6 / 2);
}

} // namespace
} // namespace orvik
