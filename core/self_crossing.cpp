// The self-crossing test as a Shamos–Hoey sweep: a line sweeps the plane from left to right
// (points of one x from the lowest up) and holds the edges it meets, ordered from bottom to
// top. Two edges that cross properly are next to one another in that order at some moment
// before the sweep passes their crossing, so only edges that become neighbours in the order
// are tested; the first proper crossing ends the sweep.
#include "core/self_crossing.h"

#include <algorithm>
#include <cstddef>
#include <set>

namespace orvik {

namespace {

double orientation(const ContourPoint& a, const ContourPoint& b, const ContourPoint& c) {
    return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}

bool oppositeSides(double s, double t) {
    return (s > 0 && t < 0) || (s < 0 && t > 0);
}

// Each segment's ends lie strictly on either side of the other's line. A crossing exactly
// through a vertex (rare with float points) is left out with the touching, so that the two
// edges around a piled-up point, which share it, are not taken for a crossing.
bool crossProperly(const ContourPoint& a, const ContourPoint& b, const ContourPoint& c,
                   const ContourPoint& d) {
    return oppositeSides(orientation(a, b, c), orientation(a, b, d)) &&
           oppositeSides(orientation(c, d, a), orientation(c, d, b));
}

// The sweep meets points in this order.
bool before(const ContourPoint& p, const ContourPoint& q) {
    return p.x < q.x || (p.x == q.x && p.y < q.y);
}

// An edge with its ends in sweep order.
struct Segment {
    ContourPoint first, last;
    std::size_t edge;
};

// Whether `probe` lies below `other` where the sweep meets the later start of the two: the
// probe's start against the other's line, and when it lies on it, the direction the probe
// leaves in; collinear edges that overlap are ordered by their number. Only called while
// both are held by the sweep, so the other edge spans the probe's start.
bool below(const Segment& probe, const Segment& other) {
    const double start = orientation(other.first, other.last, probe.first);
    if (start != 0) return start < 0;
    const double leaving = orientation(other.first, other.last, probe.last);
    if (leaving != 0) return leaving < 0;
    return probe.edge < other.edge;
}

struct BottomToTop {
    bool operator()(const Segment* a, const Segment* b) const {
        if (a == b) return false;
        // The one that started later probes the other.
        if (!before(a->first, b->first)) return below(*a, *b);
        return !below(*b, *a);
    }
};

} // namespace

bool crossesItself(const std::vector<ContourPoint>& p, bool closed) {
    const std::size_t n = p.size();
    if (n < 4) return false; // three points: every two edges are neighbours
    const std::size_t edges = closed ? n : n - 1;
    const auto neighbours = [&](std::size_t i, std::size_t j) {
        const std::size_t gap = i > j ? i - j : j - i;
        return gap == 1 || (closed && gap == n - 1);
    };
    // An edge without length has no side to cross to: it never counts, and the sweep skips it.
    std::vector<Segment> segments;
    segments.reserve(edges);
    for (std::size_t e = 0; e < edges; ++e) {
        const ContourPoint &a = p[e], &b = p[(e + 1) % n];
        if (a == b) continue;
        segments.push_back(before(a, b) ? Segment{a, b, e} : Segment{b, a, e});
    }
    // Events: 2k is the start of segment k, 2k + 1 its end. At one point the ends come before
    // the starts, so that edges through the point that are held apart only by edges ending
    // there meet and are tested before new ones come between them.
    std::vector<std::size_t> events(2 * segments.size());
    for (std::size_t i = 0; i < events.size(); ++i)
        events[i] = i;
    const auto at = [&](std::size_t event) -> const ContourPoint& {
        const Segment& s = segments[event / 2];
        return event % 2 == 0 ? s.first : s.last;
    };
    std::sort(events.begin(), events.end(), [&](std::size_t l, std::size_t r) {
        const ContourPoint &a = at(l), &b = at(r);
        if (before(a, b)) return true;
        if (before(b, a)) return false;
        return l % 2 > r % 2; // ends first
    });

    using Order = std::set<const Segment*, BottomToTop>;
    Order order;
    std::vector<Order::iterator> held(segments.size());
    const auto cross = [&](Order::iterator l, Order::iterator r) {
        const std::size_t i = (*l)->edge, j = (*r)->edge;
        return !neighbours(i, j) && crossProperly(p[i], p[(i + 1) % n], p[j], p[(j + 1) % n]);
    };
    for (const std::size_t event : events) {
        const std::size_t k = event / 2;
        if (event % 2 == 0) {
            const Order::iterator it = order.insert(&segments[k]).first;
            held[k] = it;
            if (it != order.begin() && cross(std::prev(it), it)) return true;
            if (std::next(it) != order.end() && cross(it, std::next(it))) return true;
        } else {
            const Order::iterator it = held[k];
            if (it != order.begin() && std::next(it) != order.end() &&
                cross(std::prev(it), std::next(it)))
                return true;
            order.erase(it);
        }
    }
    return false;
}

} // namespace orvik
