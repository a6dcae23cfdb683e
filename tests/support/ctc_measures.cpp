// SEG and TRA from the CTC layout.
#include "ctc_measures.h"

#include "picture_stack.h"
#include "tiff_reader.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <map>
#include <set>
#include <sstream>
#include <utility>

namespace orvik::test {

namespace {

// The label each track's frame f continues from: its own on f − 1 (same track), its parent's
// last frame (division), or none.
struct Link {
    int from = 0, to = 0;
    bool division = false;
};

using Node = std::pair<int, int>; // frame, label

std::vector<std::pair<Node, Node>> links(const CtcLayout& layout, std::vector<bool>* division) {
    std::set<Node> present;
    for (std::size_t f = 0; f < layout.masks.size(); ++f)
        for (const std::uint16_t l :
             std::set<std::uint16_t>(layout.masks[f].begin(), layout.masks[f].end()))
            if (l != 0) present.insert({int(f), l});
    std::map<int, CtcTrack> tracks;
    for (const CtcTrack& t : layout.tracks)
        tracks[t.label] = t;
    std::vector<std::pair<Node, Node>> edges;
    for (const Node& n : present) {
        const Node before{n.first - 1, n.second};
        if (present.contains(before)) {
            edges.push_back({before, n});
            division->push_back(false);
            continue;
        }
        const auto t = tracks.find(n.second);
        if (t == tracks.end() || t->second.parent == 0) continue;
        const auto p = tracks.find(t->second.parent);
        if (p == tracks.end()) continue;
        const Node mother{p->second.last, p->second.label};
        if (present.contains(mother) && mother.first < n.first) {
            edges.push_back({mother, n});
            division->push_back(true);
        }
    }
    return edges;
}

} // namespace

CtcMeasures ctcMeasures(const CtcLayout& truth, const CtcLayout& result) {
    CtcMeasures m;
    const std::size_t frames = std::min(truth.masks.size(), result.masks.size());
    // Per frame: pixel counts of each true object, each result object, and of their overlaps.
    std::map<Node, Node> matchOfTrue;               // true node -> the result node covering > half
    std::map<Node, std::vector<Node>> trueOfResult; // result node -> the true nodes it matches
    std::set<Node> resultNodes, trueNodes;
    double segSum = 0;
    for (std::size_t f = 0; f < frames; ++f) {
        const std::vector<std::uint16_t>& t = truth.masks[f];
        const std::vector<std::uint16_t>& r = result.masks[f];
        std::map<int, long> tArea, rArea;
        std::map<std::pair<int, int>, long> both;
        for (std::size_t i = 0; i < t.size(); ++i) {
            if (t[i]) ++tArea[t[i]];
            if (r[i]) ++rArea[r[i]];
            if (t[i] && r[i]) ++both[{t[i], r[i]}];
        }
        for (const auto& [l, a] : rArea)
            resultNodes.insert({int(f), l});
        for (const auto& [l, a] : tArea) {
            trueNodes.insert({int(f), l});
            ++m.trueObjects;
            for (const auto& [pair, n] : both)
                if (pair.first == l && 2 * n > a) {
                    const long uni = a + rArea[pair.second] - n;
                    segSum += double(n) / double(uni);
                    matchOfTrue[{int(f), l}] = {int(f), pair.second};
                    trueOfResult[{int(f), pair.second}].push_back({int(f), l});
                }
        }
    }
    m.seg = m.trueObjects > 0 ? segSum / m.trueObjects : 0;
    for (const Node& n : trueNodes)
        if (!matchOfTrue.contains(n)) ++m.fn;
    for (const Node& n : resultNodes) {
        const auto it = trueOfResult.find(n);
        if (it == trueOfResult.end())
            ++m.fp;
        else
            m.ns += static_cast<int>(it->second.size()) - 1;
    }
    std::vector<bool> trueKinds, resultKinds;
    const auto trueLinks = links(truth, &trueKinds);
    const auto resultLinks = links(result, &resultKinds);
    // Result links mapped onto the truth through the matches (a split node by its first match).
    std::map<std::pair<Node, Node>, bool> mapped;
    for (std::size_t e = 0; e < resultLinks.size(); ++e) {
        const auto a = trueOfResult.find(resultLinks[e].first),
                   b = trueOfResult.find(resultLinks[e].second);
        if (a == trueOfResult.end() || b == trueOfResult.end()) {
            ++m.ed; // a link of an object that is no true one
            continue;
        }
        mapped[{a->second.front(), b->second.front()}] = resultKinds[e];
    }
    std::map<std::pair<Node, Node>, bool> expected;
    for (std::size_t e = 0; e < trueLinks.size(); ++e)
        expected[trueLinks[e]] = trueKinds[e];
    for (const auto& [edge, kind] : mapped) {
        const auto it = expected.find(edge);
        if (it == expected.end())
            ++m.ed;
        else if (it->second != kind)
            ++m.ec;
    }
    for (const auto& [edge, kind] : expected)
        if (!mapped.contains(edge)) ++m.ea;
    m.aogm = 5.0 * m.ns + 10.0 * m.fn + 1.0 * m.fp + 1.0 * m.ed + 1.5 * m.ea + 1.0 * m.ec;
    m.aogm0 = 10.0 * static_cast<double>(trueNodes.size()) + 1.5 * trueLinks.size();
    m.tra = m.aogm0 > 0 ? 1 - std::min(m.aogm, m.aogm0) / m.aogm0 : 0;
    return m;
}

CtcLayout readCtcFolder(const QString& folder, int frames) {
    CtcLayout layout;
    const QDir dir(folder);
    for (int f = 0; f < frames; ++f) {
        const QString name =
            QStringLiteral("mask%1.tif").arg(f, frames > 1000 ? 4 : 3, 10, QLatin1Char('0'));
        const PictureStack stack = readTiffStack(dir.filePath(name));
        layout.width = stack.frames.width();
        layout.height = stack.frames.height();
        const auto kept = stack.frames.frame16(0);
        const std::uint16_t* p = kept.get();
        layout.masks.emplace_back(p, p + stack.frames.samplesPerFrame());
    }
    QFile file(dir.filePath(QStringLiteral("res_track.txt")));
    if (file.open(QIODevice::ReadOnly)) {
        std::istringstream in(file.readAll().toStdString());
        CtcTrack t;
        while (in >> t.label >> t.first >> t.last >> t.parent)
            layout.tracks.push_back(t);
    }
    return layout;
}

} // namespace orvik::test
