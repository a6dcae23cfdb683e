// Measurements of a contour: shoelace area and centroid, perimeter or length, a scanline
// pass over the enclosed pixels, and the flags' rules.
#include "core/measurements.h"

#include "core/geometry.h"
#include "core/number_text.h"
#include "core/self_crossing.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <utility>

namespace orvik {

namespace {

bool allFinite(const std::vector<ContourPoint>& points) {
    return std::all_of(points.begin(), points.end(), [](const ContourPoint& p) {
        return std::isfinite(p.x) && std::isfinite(p.y);
    });
}

// The first integer i with i + 0.5 >= v, clamped to [lo, hi] before converting.
std::int32_t firstCentreAtOrAfter(double v, std::int32_t lo, std::int32_t hi) {
    const double i = std::ceil(v - 0.5);
    return static_cast<std::int32_t>(
        std::clamp(i, static_cast<double>(lo), static_cast<double>(hi)));
}

void measureClosed(const std::vector<ContourPoint>& p, Measurements& m) {
    const std::size_t n = p.size();
    // Relative to the first point, so that a contour far from the origin keeps its digits.
    const double ox = p[0].x, oy = p[0].y;
    double twiceArea = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const ContourPoint& a = p[i];
        const ContourPoint& b = p[(i + 1) % n];
        twiceArea += (a.x - ox) * (b.y - oy) - (b.x - ox) * (a.y - oy);
        m.perimeter += std::hypot(b.x - a.x, b.y - a.y);
    }
    m.area = std::abs(twiceArea) / 2;
    m.centroid = polygonCentroid(p);
    m.equivalentDiameter = std::sqrt(4 * m.area / std::numbers::pi);
    m.circularity =
        m.perimeter > 0 ? 4 * std::numbers::pi * m.area / (m.perimeter * m.perimeter) : 0;
}

// Sum, minimum and maximum of one run of grey bytes or 16-bit values, in local variables of
// the values' own width so that the compiler can vectorise the loop. A row holds at most 32767
// pixels, so 32 bits hold a row of bytes.
template <typename Value, typename Sum>
struct SpanValues {
    Sum sum = 0;
    Value lowest = std::numeric_limits<Value>::max(), highest = 0;
};
template <typename Sum, typename Value>
SpanValues<Value, Sum> spanValues(const Value* first, const Value* end) {
    SpanValues<Value, Sum> g;
    for (const Value* v = first; v != end; ++v) {
        g.sum += *v;
        g.lowest = std::min(g.lowest, *v);
        g.highest = std::max(g.highest, *v);
    }
    return g;
}

// The pixels inside and their grey statistics, over `raw` when given, else over the grey.
// The sums are whole numbers far below 2^53, so their quotient is the same in any order.
void measureGrey(const std::vector<ContourPoint>& p, const GreyBufferView& grey,
                 const std::uint16_t* raw, Measurements& m) {
    std::uint64_t sum = 0;
    int lowest = 65535, highest = 0;
    forEachInsideSpan(
        p, grey.width, grey.height, [&](std::int32_t row, std::int32_t first, std::int32_t last) {
            m.pixels += last - first + 1;
            const std::size_t at = static_cast<std::size_t>(row) * grey.width;
            const auto add = [&](const auto& g) {
                sum += g.sum;
                lowest = std::min<int>(lowest, g.lowest);
                highest = std::max<int>(highest, g.highest);
            };
            if (raw != nullptr)
                add(spanValues<std::uint64_t>(raw + at + first, raw + at + last + 1));
            else if (grey.data != nullptr)
                add(spanValues<std::uint32_t>(grey.data + at + first, grey.data + at + last + 1));
        });
    if (m.pixels > 0 && (grey.data != nullptr || raw != nullptr)) {
        m.meanGrey = static_cast<double>(sum) / static_cast<double>(m.pixels);
        m.minGrey = lowest;
        m.maxGrey = highest;
    }
}

// ---- the flags' rules ----

bool beyondPicture(const std::vector<ContourPoint>& p, std::int32_t width, std::int32_t height) {
    if (width <= 0 || height <= 0) return false; // no picture to be outside of
    return std::any_of(p.begin(), p.end(), [&](const ContourPoint& q) {
        return q.x < -kOutsideMargin || q.x > width + kOutsideMargin || q.y < -kOutsideMargin ||
               q.y > height + kOutsideMargin;
    });
}

// kPiledRun points in a row (around the end when closed), each within kPiledDistance of
// the one before.
bool pointsPiled(const std::vector<ContourPoint>& p, bool closed) {
    const std::size_t n = p.size();
    const std::size_t edges = closed ? n : n - 1;
    // Walking the closed edges once more finds a run across the first point.
    const std::size_t walk = closed ? 2 * edges : edges;
    int run = 1;
    for (std::size_t e = 0; e < walk; ++e) {
        const ContourPoint& a = p[e % n];
        const ContourPoint& b = p[(e + 1) % n];
        run = std::hypot(b.x - a.x, b.y - a.y) < kPiledDistance ? run + 1 : 1;
        if (run >= kPiledRun) return true;
    }
    return false;
}

bool withinOneExtent(const std::vector<ContourPoint>& p) {
    const auto [left, right] = std::minmax_element(
        p.begin(), p.end(), [](const ContourPoint& l, const ContourPoint& r) { return l.x < r.x; });
    const auto [top, bottom] = std::minmax_element(
        p.begin(), p.end(), [](const ContourPoint& l, const ContourPoint& r) { return l.y < r.y; });
    return right->x - left->x < kCollapsedExtent && bottom->y - top->y < kCollapsedExtent;
}

ResultFlags flagsOf(const ContourResult& result, const Measurements& m) {
    ResultFlags flags;
    const std::vector<ContourPoint>& p = result.contour;
    const bool finite = allFinite(p);
    if (!result.error.empty() || !finite) flags.set(ResultFlag::Failed);
    if (p.empty() || !finite) return flags; // no geometry to judge
    if (beyondPicture(p, result.context.width, result.context.height))
        flags.set(ResultFlag::Outside);
    if (crossesItself(p, result.closed)) flags.set(ResultFlag::SelfCrossing);
    if ((result.closed && m.area < kCollapsedArea) || withinOneExtent(p) ||
        pointsPiled(p, result.closed))
        flags.set(ResultFlag::Collapsed);
    return flags;
}

// 1234.5 -> "1,234.5": fixed decimals with thousands separators, whatever the locale.
QString grouped(double value, int decimals) {
    if (!std::isfinite(value)) return QStringLiteral("n/a");
    QString text = QString::number(std::abs(value), 'f', decimals);
    const qsizetype point = decimals > 0 ? text.indexOf(u'.') : text.size();
    for (qsizetype i = point - 3; i > 0; i -= 3)
        text.insert(i, u',');
    return value < 0 ? u'-' + text : text;
}

// " · Flags: outside, self-crossing", or nothing for a plain result.
QString flagsText(const ResultFlags& flags) {
    if (flags.empty()) return {};
    return QStringLiteral(" · Flags: ") + QString::fromStdString(flagNames(flags, ", "));
}

} // namespace

const char* flagKey(ResultFlag flag) {
    switch (flag) {
    case ResultFlag::Failed:
        return "failed";
    case ResultFlag::Outside:
        return "outside";
    case ResultFlag::SelfCrossing:
        return "self-crossing";
    case ResultFlag::Overlap:
        return "overlap";
    case ResultFlag::Collapsed:
        break;
    }
    return "collapsed";
}

std::vector<ResultFlag> ResultFlags::list() const {
    std::vector<ResultFlag> flags;
    for (const ResultFlag flag : {ResultFlag::Failed, ResultFlag::Outside, ResultFlag::SelfCrossing,
                                  ResultFlag::Collapsed, ResultFlag::Overlap})
        if (has(flag)) flags.push_back(flag);
    return flags;
}

std::string flagNames(const ResultFlags& flags, const char* separator) {
    std::string names;
    for (const ResultFlag flag : flags.list())
        names += (names.empty() ? "" : separator) + std::string(flagKey(flag));
    return names;
}

namespace {

// Rows crossed this often (an outline of many points zigzagging across the picture) are paired
// through a count of the crossings per column instead of a sort: only the column of each
// crossing's first centre decides the spans, and those columns sorted are the crossings sorted.
constexpr std::size_t kCountedCrossings = 64;

void spansByCounting(const std::vector<double>& xs, std::int32_t row, std::int32_t width,
                     std::vector<std::uint32_t>& counts,
                     const std::function<void(std::int32_t, std::int32_t, std::int32_t)>& span) {
    counts.assign(std::size_t(width) + 1, 0);
    for (const double x : xs)
        ++counts[std::size_t(firstCentreAtOrAfter(x, 0, width))];
    std::int32_t open = -1; // the column of an unpaired crossing
    for (std::int32_t column = 0; column <= width; ++column)
        for (std::uint32_t k = counts[std::size_t(column)]; k > 0; --k) {
            if (open < 0) {
                open = column;
                continue;
            }
            if (open < column) span(row, open, column - 1);
            open = -1;
        }
}

} // namespace

void forEachInsideSpan(const std::vector<ContourPoint>& polygon, std::int32_t width,
                       std::int32_t height,
                       const std::function<void(std::int32_t, std::int32_t, std::int32_t)>& span) {
    const std::size_t n = polygon.size();
    if (n < 3 || width <= 0 || height <= 0 || !allFinite(polygon)) return;
    // An edge crosses the centre line y = j + 0.5 of the rows j with lower <= j + 0.5 < upper
    // (half-open, so a vertex on a centre line counts once and every row has an even count).
    struct Edge {
        std::int32_t firstRow, endRow;
        double x0, y0, slope;
    };
    std::vector<Edge> edges;
    for (std::size_t e = 0; e < n; ++e) {
        ContourPoint a = polygon[e], b = polygon[(e + 1) % n];
        if (a.y == b.y) continue;
        if (a.y > b.y) std::swap(a, b);
        const Edge edge{firstCentreAtOrAfter(a.y, 0, height), firstCentreAtOrAfter(b.y, 0, height),
                        a.x, a.y, (b.x - a.x) / (b.y - a.y)};
        if (edge.firstRow < edge.endRow) edges.push_back(edge);
    }
    if (edges.empty()) return;
    std::sort(edges.begin(), edges.end(),
              [](const Edge& l, const Edge& r) { return l.firstRow < r.firstRow; });
    // Row by row over the edges that cross it; within a row a centre is inside between the
    // 1st and 2nd crossing, the 3rd and 4th, and so on.
    std::vector<const Edge*> active;
    std::vector<double> xs;
    std::vector<std::uint32_t> counts;
    std::size_t next = 0;
    for (std::int32_t row = edges.front().firstRow; row < height; ++row) {
        std::erase_if(active, [row](const Edge* e) { return e->endRow <= row; });
        while (next < edges.size() && edges[next].firstRow == row)
            active.push_back(&edges[next++]);
        if (active.empty()) {
            if (next == edges.size()) break;
            row = edges[next].firstRow - 1;
            continue;
        }
        xs.clear();
        for (const Edge* e : active)
            xs.push_back(e->x0 + (row + 0.5 - e->y0) * e->slope);
        if (xs.size() >= kCountedCrossings && xs.size() * 8 >= std::size_t(width)) {
            spansByCounting(xs, row, width, counts, span);
            continue;
        }
        std::sort(xs.begin(), xs.end());
        for (std::size_t c = 0; c + 1 < xs.size(); c += 2) {
            const std::int32_t first = firstCentreAtOrAfter(xs[c], 0, width);
            const std::int32_t end = firstCentreAtOrAfter(xs[c + 1], 0, width);
            if (first < end) span(row, first, end - 1);
        }
    }
}

Measurements measure(const ContourResult& result, const GreyBufferView& grey) {
    return measure(result, grey, nullptr);
}

Measurements measure(const ContourResult& result, const GreyBufferView& grey,
                     const std::uint16_t* raw) {
    Measurements m;
    m.closed = result.closed;
    const std::vector<ContourPoint>& p = result.contour;
    if (p.empty()) {
        m.flags = flagsOf(result, m);
        return m;
    }
    if (!result.closed) {
        for (std::size_t i = 1; i < p.size(); ++i)
            m.length += std::hypot(p[i].x - p[i - 1].x, p[i].y - p[i - 1].y);
        m.ends[0] = p.front();
        m.ends[1] = p.back();
        m.flags = flagsOf(result, m);
        return m;
    }
    m.bbox[0] = m.bbox[2] = p[0].x;
    m.bbox[1] = m.bbox[3] = p[0].y;
    for (const ContourPoint& q : p) {
        m.bbox[0] = std::min(m.bbox[0], q.x);
        m.bbox[1] = std::min(m.bbox[1], q.y);
        m.bbox[2] = std::max(m.bbox[2], q.x);
        m.bbox[3] = std::max(m.bbox[3], q.y);
    }
    measureClosed(p, m);
    measureGrey(p, grey, raw, m);
    m.flags = flagsOf(result, m);
    return m;
}

QString statusText(const Measurements& m, const ContourResult& result) {
    if (result.contour.empty()) return {};
    if (!m.closed)
        return QStringLiteral("Length %1 px").arg(grouped(m.length, 1)) + flagsText(m.flags);
    QString text = QStringLiteral("Area %1 px² · Perimeter %2 px · Circularity %3")
                       .arg(grouped(m.area, 1), grouped(m.perimeter, 1), grouped(m.circularity, 2));
    if (m.pixels > 0) text += QStringLiteral(" · Mean grey %1").arg(grouped(m.meanGrey, 1));
    return text + flagsText(m.flags);
}

QString clipboardText(const Measurements& m, const ContourResult& result) {
    std::string text;
    const auto line = [&text](const char* name, std::initializer_list<double> values) {
        text += name;
        for (const double v : values)
            text += '\t' + significantDigits(v, 9);
        text += '\n';
    };
    if (m.closed) {
        line("area", {m.area});
        line("perimeter", {m.perimeter});
        line("centroid", {m.centroid.x, m.centroid.y});
        line("bbox", {m.bbox[0], m.bbox[1], m.bbox[2], m.bbox[3]});
        line("equivalent_diameter", {m.equivalentDiameter});
        line("circularity", {m.circularity});
        line("pixels", {static_cast<double>(m.pixels)});
        line("mean_grey", {m.meanGrey});
        line("min_grey", {static_cast<double>(m.minGrey)});
        line("max_grey", {static_cast<double>(m.maxGrey)});
    } else {
        line("length", {m.length});
        line("ends", {m.ends[0].x, m.ends[0].y, m.ends[1].x, m.ends[1].y});
    }
    text += "flags";
    for (const ResultFlag flag : m.flags.list())
        text += '\t' + std::string(flagKey(flag));
    text += '\n';
    text += "\nx\ty\n";
    for (const ContourPoint& p : result.contour)
        text += significantDigits(p.x, 9) + '\t' + significantDigits(p.y, 9) + '\n';
    return QString::fromStdString(text);
}

} // namespace orvik
