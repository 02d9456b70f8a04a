// How much a car stands in a parking space: the area of the intersection of the
// car's footprint and the space's quadrilateral, divided by the smaller of the two
// areas. Pure functions on small fixed arrays; nothing is allocated.
#pragma once

// A point in frame coordinates (x right, y down), 64-bit.
typedef struct OvPoint {
  double x, y;
} OvPoint;

// Room of the polygons that triangleIntersectArea clips (plus one closing point).
enum { OV_CLIP_MAX = 32 };

// box: x1, y1, x2, y2 of the car (x2 = x + w, y2 = y + h); corners: K1..K4 as x, y
// pairs, in space order. With adjust set, a wide box keeps only its lower part.
// Normally in [0, 1]; a degenerate or crossed space can give other values, including
// NaN and infinities, which callers must not use as weights.
float spaceOverlap(const float box[4], const float corners[8], int adjust);

// The score-matrix entry of a car and a space: spaceOverlap(box, corners, 1) when
// that is above 0.3, else 0. For a simple space (not crossed, non-zero area) the
// entry may instead be a value that the matcher turns into exactly the same integer
// weight, found by a cheap exact-area clip; the full measure runs only when that
// cannot be told apart from a step of the weight.
float spaceScore(const float box[4], const float corners[8], int simpleSpace);

// Area of the intersection of polygons P (n points) and Q (m points). Both arrays
// need room for one more point; either may be reversed in place.
double polygonIntersectArea(OvPoint *P, int n, OvPoint *Q, int m);
// Signed area of the intersection of triangles (O, a, b) and (O, c, d), O the origin.
double triangleIntersectArea(OvPoint a, OvPoint b, OvPoint c, OvPoint d);
// Keeps the part of R strictly left of the directed line p -> q. R holds *count
// points and has room for OV_CLIP_MAX + 1.
void polygonCut(OvPoint *R, int *count, OvPoint p, OvPoint q);
// Crossing of line p -> q with line c -> d: 1 with *out set, 0 parallel, 2 collinear.
int lineCross(OvPoint p, OvPoint q, OvPoint c, OvPoint d, OvPoint *out);
// Signed area (positive counter-clockwise in x-right/y-up terms); writes P[n] = P[0].
double polygonArea(OvPoint *P, int n);
// Longest of the edges P[k] -> P[k+1], k = 0 .. n-2 (the closing edge excluded).
double maxEdgeLength(const OvPoint *P, int n);
