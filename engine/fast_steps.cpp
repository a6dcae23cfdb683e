// The fast path of the steps: the formulas of the reference steps (reference_steps.cpp),
// lane by lane across points, in the kernels of step_kernels.cpp, with the picture's part (the
// grey level under each point and the edge force there) read in between, and the contour kept
// in the kernels' rows from one step to the next while nothing can fail. It gives the bits of
// the reference steps.
#include "kontur.h"
#include "kontur_internal.h"
#include "step_kernels.h"
#include "step_paths.h"
#include "step_scratch.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace orvik {

namespace {

// The fast path over one or more steps. Both levels are widened into the scratch's rows once;
// each step then reads the picture point by point, runs the kernels of the instruction set in
// use, and lets the rows trade places, so the contour stays in the rows from one step to the
// next. At the end both levels go back into the point buffer, and the last step's energy
// terms are summed in point order: no one can see the points or the energy in between.
class FastRun {
public:
    FastRun(const KONTUR& k, const StepParameters& parameters, ScratchSpace& scratch)
        : s_(parameters), scratch_(scratch), rows_(scratch.rows), kernels_(*scratch.kernels),
          weights_(parameters.kernelWeights()), c_(currentLevel(k)) {}

    // Performs up to `count` steps and returns how many it did, with the last one's energy
    // sum in `energy`. Stops after a step whose new values leave the fast path's range, so
    // that the next one takes the reference path. Returns 0, having written nothing but its
    // rows, when a coordinate is out of range from the start.
    template <ModelChoice M>
    std::int64_t run(std::int64_t count, double& energy) {
        constexpr bool withY = M != ModelChoice::CenterPoint;
        constexpr bool opened = M == ModelChoice::Opened;
        // The end points of "Opened" stay; their ghosts are read by lanes whose results are
        // not used.
        const std::int32_t first = opened ? 1 : 0;
        const std::int32_t last = opened ? s_.n - 1 : s_.n;
        if (!widen(withY)) return 0;
        if constexpr (M == ModelChoice::CenterPoint) fillDirections();
        const float* pressures =
            scratch_.pressures.forWeights(s_.threshold, s_.imageWeight, opened);
        // The kernels read a picture whose frame they can index with 31 bits; the steps read
        // any other one point by point.
        const GreyView& image = s_.image;
        const std::uint64_t size = std::uint64_t{image.width} * image.height;
        if (image.grey != nullptr && size >= 8 && frameSize(image) < (std::uint64_t{1} << 31))
            picture_ = {image, s_.threshold, s_.imageWeight};
        // The points remember what they read (readPicture, readRemembered) for as long as the
        // scratch says it holds.
        scratch_.keepOrEmptyRememberedPixels();
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
            case ModelChoice::CenterPoint:
                kernels_.centerPositions(rows_, weights_, levels, first, last);
                readPicture<false>(first, last, pressures, rows_.px, rows_.py);
                inRange = kernels_.centerForces(rows_, weights_, levels, first, last);
                break;
            case ModelChoice::Standard:
                kernels_.standardRadials(rows_, weights_, levels, first, last);
                readPicture<false>(first, last, pressures, xs, ys);
                inRange = kernels_.standardForces(rows_, weights_, levels, first, last);
                break;
            case ModelChoice::Balloon:
                readPicture<false>(first, last, pressures, xs, ys);
                inRange = kernels_.balloonForces(rows_, weights_, levels, first, last);
                break;
            case ModelChoice::Opened:
                readPicture<true>(first, last, pressures, xs, ys);
                inRange = kernels_.openedForces(rows_, weights_, levels, first, last, s_.n);
                break;
            }
            // Pinned points keep their current values (holdPinned, on the rows); a contour
            // without pins skips this.
            if (!s_.pinned.empty()) holdPinned(levels, first, last, withY);
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

    // The pinned points' new values are their current ones, in the rows: the step leaves them
    // where they are, as holdPinned does on the point buffer.
    void holdPinned(KernelLevels levels, std::int32_t first, std::int32_t last, bool withY) const {
        for (const std::int32_t i : s_.pinned) {
            if (i < first || i >= last) continue;
            const std::int32_t j = i + kGhosts;
            rows_.x[levels.fresh][j] = rows_.x[levels.current][j];
            if (withY) rows_.y[levels.fresh][j] = rows_.y[levels.current][j];
        }
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
        if (!Opened && picture_.image.grey != nullptr) {
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
        // So it remembers the pixel each point read last (for as long as the scratch keeps
        // it), and a block of points that all stay on theirs keeps its values in the rows.
        // (A closed contour keeps crossing pixel borders, about half its points at every step
        // in the benchmark, so a test for the last pixel alone costs more than it saves: it
        // remembers its last four pixels per point instead, see readRemembered.) Deciding per
        // block rather than per point keeps the branch predictable while the chain still
        // moves.
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
        for (std::int32_t m = 0; m < count; ++m) {
            const std::int32_t j = missed[m];
            const std::int32_t ix = PlainArithmetic::trunc(xs[j]);
            const std::int32_t iy = PlainArithmetic::trunc(ys[j]);
            readPoint<false, true>(j, ix, iy, pressures);
            // The kernels miss pixels of the frame only, and its index fits 31 bits.
            const auto place = static_cast<std::size_t>(rows_.readNext[j]);
            rows_.readNext[j] = (rows_.readNext[j] + 1) % kPixelPlaces;
            rows_.readPixel[place][j] = static_cast<std::int32_t>(framePixel(s_.image, ix, iy));
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
                grey = greyLevel(image, ix, iy);
                gradX = greyLevel(image, shiftedPixel(ix, 1), iy) -
                        greyLevel(image, shiftedPixel(ix, -1), iy);
                gradY = greyLevel(image, ix, shiftedPixel(iy, 1)) -
                        greyLevel(image, ix, shiftedPixel(iy, -1));
            }
            rows_.pressure[j] = pressures[grey];
            rows_.gradX[j] = gradX;
            rows_.gradY[j] = gradY;
        } else {
            rows_.pressure[j] = pressures[greyLevel(image, ix, iy)];
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
    ScratchSpace& scratch_;
    KernelRows& rows_;
    const KernelSet& kernels_;
    const KernelWeights weights_;
    const std::int32_t c_;    // the current level when the run starts
    KernelPicture picture_{}; // no grey levels: the picture is read point by point
};

} // namespace

std::int64_t fastSteps(KONTUR& k, std::int32_t model, const StepParameters& parameters,
                       ScratchSpace& space, std::int64_t count, double& energy) {
    FastRun run(k, parameters, space);
    switch (model) {
    case 1:
        return run.run<ModelChoice::CenterPoint>(count, energy);
    case 2:
        return run.run<ModelChoice::Standard>(count, energy);
    case 3:
        return run.run<ModelChoice::Balloon>(count, energy);
    default:
        return run.run<ModelChoice::Opened>(count, energy);
    }
}

} // namespace orvik
