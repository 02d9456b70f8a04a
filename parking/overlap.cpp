#include "overlap.h"

#include <math.h>

#include "km.h"

static const double kEps = 1e-8;

static int sgn(double v) {
  if (v > kEps) return 1;
  if (v < -kEps) return -1;
  return 0;
}

static bool same_point(OvPoint a, OvPoint b) {
  double dx = a.x - b.x, dy = a.y - b.y;
  return dx >= -kEps && dx <= kEps && dy >= -kEps && dy <= kEps;
}

// Which side of the directed line p -> q the point c lies on, unreduced.
static double side(OvPoint p, OvPoint q, OvPoint c) {
  return (c.y - p.y) * (q.x - p.x) - (c.x - p.x) * (q.y - p.y);
}

double polygonArea(OvPoint *P, int n) {
  if (n <= 0) return 0;
  P[n] = P[0];
  double sum = 0;
  for (int k = 0; k < n; k++) sum += P[k].x * P[k + 1].y - P[k].y * P[k + 1].x;
  return 0.5 * sum;
}

double maxEdgeLength(const OvPoint *P, int n) {
  double best = 0;
  for (int k = 0; k + 1 < n; k++) {
    double dx = P[k + 1].x - P[k].x, dy = P[k + 1].y - P[k].y;
    double len = sqrt(dx * dx + dy * dy);
    if (len > best) best = len;
  }
  return best;
}

int lineCross(OvPoint p, OvPoint q, OvPoint c, OvPoint d, OvPoint *out) {
  double s1 = side(p, q, c);
  double s2 = side(p, q, d);
  if (sgn(s1) == 0 && sgn(s2) == 0) return 2;
  if (sgn(s2 - s1) == 0) return 0;
  out->x = (c.x * s2 - d.x * s1) / (s2 - s1);
  out->y = (c.y * s2 - d.y * s1) / (s2 - s1);
  return 1;
}

void polygonCut(OvPoint *R, int *count, OvPoint p, OvPoint q) {
  int n = *count;
  if (n <= 0) return;
  R[n] = R[0];
  // Each vertex's side is computed once; the crossing below is lineCross on these
  // same values.
  double sv[OV_CLIP_MAX + 1];
  int sg[OV_CLIP_MAX + 1];
  for (int k = 0; k <= n; k++) {
    sv[k] = side(p, q, R[k]);
    sg[k] = sgn(sv[k]);
  }
  OvPoint out[2 * OV_CLIP_MAX];
  int m = 0;
  for (int k = 0; k < n; k++) {
    if (sg[k] == 1) out[m++] = R[k];
    if (sg[k] == sg[k + 1]) continue;
    // Differing signs whose crossing cannot be computed (inside the tolerance band)
    // add no point. Both signs 0 cannot happen here.
    double s1 = sv[k], s2 = sv[k + 1];
    if (sgn(s2 - s1) == 0) continue;
    const OvPoint c = R[k], d = R[k + 1];
    out[m].x = (c.x * s2 - d.x * s1) / (s2 - s1);
    out[m].y = (c.y * s2 - d.y * s1) / (s2 - s1);
    m++;
  }
  // Drop repeats of the point just before; the closing repeat of the first point too.
  int kept = 0;
  for (int k = 0; k < m && kept < OV_CLIP_MAX; k++)
    if (k == 0 || !same_point(out[k], out[k - 1])) R[kept++] = out[k];
  while (kept > 1 && same_point(R[kept - 1], R[0])) kept--;
  *count = kept;
}

double triangleIntersectArea(OvPoint a, OvPoint b, OvPoint c, OvPoint d) {
  const OvPoint o = {0, 0};
  int s1 = sgn(a.x * b.y - a.y * b.x);
  int s2 = sgn(c.x * d.y - c.y * d.x);
  if (s1 == 0 || s2 == 0) return 0;
  if (s1 == -1) { OvPoint t = a; a = b; b = t; }
  if (s2 == -1) { OvPoint t = c; c = d; d = t; }
  OvPoint R[OV_CLIP_MAX + 1];
  R[0] = o;
  R[1] = a;
  R[2] = b;
  int count = 3;
  // Once at most one point is left, the area is exactly 0 whatever the later cuts do.
  const OvPoint cuts[4] = {o, c, d, o};
  for (int k = 0; k < 3 && count > 1; k++) polygonCut(R, &count, cuts[k], cuts[k + 1]);
  double v = count > 1 ? fabs(polygonArea(R, count)) : 0.0;
  return s1 * s2 == -1 ? -v : v;
}

static void reverse_points(OvPoint *P, int n) {
  for (int i = 0, j = n - 1; i < j; i++, j--) {
    OvPoint t = P[i]; P[i] = P[j]; P[j] = t;
  }
}

// Sum of the triangle-pair areas of two closed polygons (orientation already set).
static double sum_triangle_pairs(const OvPoint *P, int n, const OvPoint *Q, int m) {
  double sum = 0;
  for (int k = 0; k < n; k++)
    for (int l = 0; l < m; l++) sum += triangleIntersectArea(P[k], P[k + 1], Q[l], Q[l + 1]);
  return sum;
}

double polygonIntersectArea(OvPoint *P, int n, OvPoint *Q, int m) {
  if (polygonArea(P, n) < 0) reverse_points(P, n);
  if (polygonArea(Q, m) < 0) reverse_points(Q, m);
  P[n] = P[0];
  Q[m] = Q[0];
  return sum_triangle_pairs(P, n, Q, m);
}

// The car polygon with the wide-box adjustment, and the space polygon.
static void build_polygons(const float box[4], const float corners[8], int adjust, OvPoint *P,
                           OvPoint *Q) {
  double x1 = box[0], y1 = box[1], x2 = box[2], y2 = box[3];
  double h = y2 - y1, w = x2 - x1;
  if (adjust) {
    // The ratio is taken as a 32-bit float and compared with 32-bit constants, so a
    // box exactly on a step (e.g. 130 x 100) stays on the lower side.
    float r = (float)(w / h);
    if (r > 2.2f) y1 += 0.7 * h;
    else if (r > 1.9f) y1 += 0.6 * h;
    else if (r > 1.8f) y1 += 0.5 * h;
    else if (r > 1.7f) y1 += 0.4 * h;
    else if (r > 1.6f) y1 += 0.3 * h;
    else if (r > 1.4f) y1 += 0.2 * h;
    else if (r > 1.3f) y1 += 0.1 * h;
  }
  P[0] = OvPoint{x1, y1};
  P[1] = OvPoint{x2, y1};
  P[2] = OvPoint{x2, y2};
  P[3] = OvPoint{x1, y2};
  for (int k = 0; k < 4; k++) Q[k] = OvPoint{corners[2 * k], corners[2 * k + 1]};
}

// Areas of both (normalised) polygons and the area/edge ratio rule: true when the
// pair scores 0 because one polygon is far larger than the other.
static bool ratio_rule(OvPoint *P, OvPoint *Q, double *aP, double *aQ) {
  *aP = fabs(polygonArea(P, 4));
  *aQ = fabs(polygonArea(Q, 4));
  double ratio = *aP / *aQ;
  return (ratio > 10 || ratio < 0.1) && maxEdgeLength(P, 4) / maxEdgeLength(Q, 4) > 4;
}

float spaceOverlap(const float box[4], const float corners[8], int adjust) {
  OvPoint P[5], Q[5];
  build_polygons(box, corners, adjust, P, Q);
  double a = polygonIntersectArea(P, 4, Q, 4);
  double aP, aQ;
  if (ratio_rule(P, Q, &aP, &aQ)) return 0;
  return (float)(a / (aP < aQ ? aP : aQ));
}

// Keeps the part of polygon in (n points) where d(point) = sign * (coord - bound) >= 0,
// coord being x (axis 0) or y (axis 1). Returns the new count.
static int clip_axis(const OvPoint *in, int n, OvPoint *out, int axis, double bound, double sign) {
  int m = 0;
  OvPoint prev = in[n - 1];
  double dPrev = sign * ((axis ? prev.y : prev.x) - bound);
  for (int k = 0; k < n; k++) {
    OvPoint cur = in[k];
    double dCur = sign * ((axis ? cur.y : cur.x) - bound);
    if ((dCur >= 0) != (dPrev >= 0)) {
      double t = dPrev / (dPrev - dCur);
      out[m++] = OvPoint{prev.x + t * (cur.x - prev.x), prev.y + t * (cur.y - prev.y)};
    }
    if (dCur >= 0) out[m++] = cur;
    prev = cur;
    dPrev = dCur;
  }
  return m;
}

// Area of the part of polygon Q (n points, any orientation, not self-crossing) inside
// the axis-parallel rectangle [x1, x2] x [y1, y2]: Sutherland-Hodgman, coordinates
// taken relative to the rectangle's corner.
static double rect_clip_area(const OvPoint *Q, int n, double x1, double y1, double x2, double y2) {
  OvPoint a[16], b[16];
  for (int k = 0; k < n; k++) a[k] = OvPoint{Q[k].x - x1, Q[k].y - y1};
  int count = clip_axis(a, n, b, 0, 0, 1);
  if (count > 0) count = clip_axis(b, count, a, 0, x2 - x1, -1);
  if (count > 0) count = clip_axis(a, count, b, 1, 0, 1);
  if (count > 0) count = clip_axis(b, count, a, 1, y2 - y1, -1);
  double sum = 0;
  for (int k = 0; k < count; k++) {
    const OvPoint &p = a[k], &q = a[k + 1 < count ? k + 1 : 0];
    sum += p.x * q.y - p.y * q.x;
  }
  return fabs(0.5 * sum);
}

// The score-matrix entry of a score: the score when above 0.3, else 0.
static float entry_of(float s) { return s > 0.3f ? s : 0.0f; }

float spaceScore(const float box[4], const float corners[8], int simpleSpace) {
  OvPoint P[5], Q[5];
  build_polygons(box, corners, 1, P, Q);
  if (!simpleSpace) {
    double a = polygonIntersectArea(P, 4, Q, 4);
    double aP, aQ;
    return ratio_rule(P, Q, &aP, &aQ) ? 0.0f : entry_of((float)(a / (aP < aQ ? aP : aQ)));
  }
  // The same orientation step as polygonIntersectArea, so that the areas, the ratio
  // rule and (when needed) the exact sum below are computed on identical arrays.
  if (polygonArea(P, 4) < 0) reverse_points(P, 4);
  if (polygonArea(Q, 4) < 0) reverse_points(Q, 4);
  P[4] = P[0];
  Q[4] = Q[0];
  // The areas exactly as the ratio rule below computes them.
  double aP = fabs(polygonArea(P, 4)), aQ = fabs(polygonArea(Q, 4));
  double m = aP < aQ ? aP : aQ;

  // The intersection area from a rectangle clip, and a bound on how far it can lie from
  // the triangle-fan sum. Each of the two takes under 700 products of coordinates
  // (each below 2 S^2, rounded by 2^-53 of it): 1e-12 S^2 covers one of them ten times
  // over, and the bound counts it twice. The fan sum's 1e-8 side tolerance accepts a
  // point within 1e-8 / |edge| of a line; with edges of at least a pixel and a
  // perimeter under 4000 pixels that moves the area by under 4e-5: 1e-3 covers it.
  // Real rounding stays near 1e-10, so the margin costs no speed.
  double S = 1;
  for (int k = 0; k < 4; k++) {
    const double v[4] = {fabs(P[k].x), fabs(P[k].y), fabs(Q[k].x), fabs(Q[k].y)};
    for (double x : v)
      if (x > S) S = x;
  }
  const double err = 2 * (1e-12 * S * S + 1e-3);
  // P is the car's rectangle: P[0] and P[2] are opposite corners.
  double x1 = P[0].x < P[2].x ? P[0].x : P[2].x, x2 = P[0].x < P[2].x ? P[2].x : P[0].x;
  double y1 = P[0].y < P[2].y ? P[0].y : P[2].y, y2 = P[0].y < P[2].y ? P[2].y : P[0].y;
  double est = rect_clip_area(Q, 4, x1, y1, x2, y2);
  bool estimateHolds = m > 0 && err < m * 1e-3;
  // Far below the 0.3 bar: weight 0 whether or not the ratio rule applies.
  if (estimateHolds && (est + err) / m < 0.29) return 0.0f;
  if (ratio_rule(P, Q, &aP, &aQ)) return 0.0f;
  if (estimateHolds) {
    double lo = (est - err) / m, hi = (est + err) / m;
    float entryLo = entry_of((float)lo), entryHi = entry_of((float)hi);
    // Every value the exact score can take gives one and the same weight: use the
    // estimate. Near a step of the weight (a multiple of 0.01, the 0.3 bar, 1.0) the
    // exact sum decides.
    if (hi < 1.0005 && km_weight(entryLo) == km_weight(entryHi))
      return km_weight(entryHi) == 0 ? 0.0f : (float)(est / m);
  }
  return entry_of((float)(sum_triangle_pairs(P, 4, Q, 4) / m));
}
