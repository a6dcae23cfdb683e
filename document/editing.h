// Correcting a contour by hand: moving and pinning its points, pushing it with a brush,
// relaxing it from where it is with its pins held, splitting an object by a line and merging
// objects into one. Each is one command of the document: the window makes each an undo step,
// orvik-cli and the tests call them alike.
#pragma once

#include "core/commands.h"
#include "core/picture_object.h"
#include "document/document.h"

#include <cstdint>
#include <vector>

namespace orvik {

// ---- the engine's side ----

// Loads `from`'s stored points (model 1: its radii) into both levels of a model that Init made
// from `values`, and pins `pinned`. False, with the model as Init left it, when `from` has not
// as many points as the values ask for.
bool loadContour(KONTUR& k, const ControlValues& values, const ContourResult& from,
                 const std::vector<std::int32_t>& pinned);

// "Relax": the analysis run from `from`'s contour as it is rather than from the box, its
// pinned points held where they are. A result whose point count differs from the values'
// starts from its outline (analyseFromOutline), without pins. Errors as analyseContour.
void relaxContour(KONTUR& k, StepScratch& scratch, const ControlValues& values,
                  const ContourResult& from, const std::vector<std::int32_t>& pinned);

// ---- the contour's points ----

// The contour's points in picture coordinates, index by index (model 1: the centre plus
// each radius along its direction).
std::vector<ContourPoint> contourPoints(const PictureObject& object);

// The index of the object's point nearest to (x, y) within `reach` pixels; -1 if none.
int pointNear(const PictureObject& object, double x, double y, double reach);

// Point `index` of the object moved to (x, y) and pinned (model 1: its radius becomes the
// distance from the centre along its direction, at least the floor). False, nothing changed,
// for an index that is not one of its points.
bool movePoint(PictureObject& object, int index, double x, double y);

// Pins point `index`, or unpins it when it is pinned.
bool togglePin(PictureObject& object, int index);

// A brush stroke: every unpinned point within `radius` of (x, y) pushed out onto the circle,
// away from its centre. Returns how many points moved.
int pushOutline(PictureObject& object, double x, double y, double radius);

// ---- the document's commands ----

// After movePoint, togglePin or pushOutline on object `id` of the list: the document keeps the
// new contour (on a stack, on the frame shown of its track too).
void keepEdit(Document& doc, int id);

// "Follow from this frame": the objects of the frame shown, as they are there (corrections
// included), followed through the later frames, each starting from its contour on this frame;
// the frames before and this one keep what they had, and each track keeps its id. An object
// without a track gets one from this frame. Returns the frames followed after this one.
int followFromFrame(Document& doc, int threads);

// Relaxes the object `id` on the frame shown (see relaxContour); the list, and its track on
// this frame, keep the result. False when there is no such object or no contour to start from.
bool relaxObject(Document& doc, int id);

// Cuts object `id` along the line through (x1, y1) and (x2, y2) into two objects, each seeded
// from its part (seedValues on outlineRegion) and analysed from that part on the picture with
// the line drawn across it in the ground's grey, so that neither takes the other's pixels. The
// object is removed; returns the two new ids (none when the line does not cut the contour into two
// parts with pixels inside).
std::vector<int> splitObject(Document& doc, int id, double x1, double y1, double x2, double y2,
                             int threads);

// The objects `ids` (two or more) become one, seeded from the outline of their union (the
// union's outer border when the union is one piece of pixels, else the convex hull of their
// contours) and analysed from it, with the settings of the first. Returns the new id; 0 when
// fewer than two of `ids` are objects with a contour.
int mergeObjects(Document& doc, const std::vector<int>& ids, int threads);

// The outer border of the pixels where `mask` (width × height, non-zero inside) is set, round
// its largest 8-connected piece, along the pixels' edges: a closed polygon whose shoelace area
// is that piece's pixel count when it has no hole.
std::vector<ContourPoint> maskOutline(const std::vector<std::uint8_t>& mask, int width, int height);

} // namespace orvik
