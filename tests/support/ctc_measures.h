// The Cell Tracking Challenge's SEG and TRA, written from their published definitions, on a
// result in the CTC layout (maskNNN.tif and res_track.txt) against a truth of the same form.
//  - SEG: for each true object on each frame, the Jaccard index with the result object that
//    covers more than half of it (0 when none does); the mean over all true objects.
//  - TRA: the acyclic oriented graph matching measure. A result object matches the true objects
//    it covers more than half of; the graph edit cost AOGM = 5·NS (a result object matching
//    k > 1 true ones needs k − 1 splits) + 10·FN (true objects matched by none) + 1·FP (result
//    objects matching none) + 1·ED (result links to delete) + 1.5·EA (true links to add) +
//    1·EC (links whose kind, same track or parent to daughter, must change). AOGM_0 is the cost
//    of building the truth from nothing (10 per object, 1.5 per link); TRA = 1 − min(AOGM,
//    AOGM_0) / AOGM_0.
#pragma once

#include <QString>
#include <cstdint>
#include <vector>

namespace orvik::test {

struct CtcTrack {
    int label = 0, first = 0, last = 0, parent = 0;
};

struct CtcLayout {
    int width = 0, height = 0;
    std::vector<std::vector<std::uint16_t>> masks; // per frame
    std::vector<CtcTrack> tracks;
};

struct CtcMeasures {
    double seg = 0, tra = 0;
    int ns = 0, fn = 0, fp = 0, ed = 0, ea = 0, ec = 0;
    double aogm = 0, aogm0 = 0;
    int trueObjects = 0;
};

CtcMeasures ctcMeasures(const CtcLayout& truth, const CtcLayout& result);

// A result folder as orvik-cli --save ctc writes it: `frames` masks and res_track.txt.
CtcLayout readCtcFolder(const QString& folder, int frames);

} // namespace orvik::test
