#include "overlap.h"

#include <math.h>

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
  OvPoint out[2 * OV_CLIP_MAX];
  int m = 0;
  int n = *count;
  R[n] = R[0];
  for (int k = 0; k < n; k++) {
    int sk = sgn(side(p, q, R[k]));
    int sn = sgn(side(p, q, R[k + 1]));
    if (sk == 1) out[m++] = R[k];
    // Differing signs whose crossing cannot be computed (inside the tolerance band)
    // add no point.
    if (sk != sn && lineCross(p, q, R[k], R[k + 1], &out[m]) == 1) m++;
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
  OvPoint R[OV_CLIP_MAX + 1] = {o, a, b};
  int count = 3;
  polygonCut(R, &count, o, c);
  polygonCut(R, &count, c, d);
  polygonCut(R, &count, d, o);
  double v = fabs(polygonArea(R, count));
  return s1 * s2 == -1 ? -v : v;
}

static void reverse_points(OvPoint *P, int n) {
  for (int i = 0, j = n - 1; i < j; i++, j--) {
    OvPoint t = P[i]; P[i] = P[j]; P[j] = t;
  }
}

double polygonIntersectArea(OvPoint *P, int n, OvPoint *Q, int m) {
  if (polygonArea(P, n) < 0) reverse_points(P, n);
  if (polygonArea(Q, m) < 0) reverse_points(Q, m);
  P[n] = P[0];
  Q[m] = Q[0];
  double sum = 0;
  for (int k = 0; k < n; k++)
    for (int l = 0; l < m; l++) sum += triangleIntersectArea(P[k], P[k + 1], Q[l], Q[l + 1]);
  return sum;
}

float spaceOverlap(const float box[4], const float corners[8], int adjust) {
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
  OvPoint P[5] = {{x1, y1}, {x2, y1}, {x2, y2}, {x1, y2}};
  OvPoint Q[5];
  for (int k = 0; k < 4; k++) Q[k] = OvPoint{corners[2 * k], corners[2 * k + 1]};

  double a = polygonIntersectArea(P, 4, Q, 4);
  double aP = fabs(polygonArea(P, 4));
  double aQ = fabs(polygonArea(Q, 4));
  double ratio = aP / aQ;
  if ((ratio > 10 || ratio < 0.1) && maxEdgeLength(P, 4) / maxEdgeLength(Q, 4) > 4) return 0;
  return (float)(a / (aP < aQ ? aP : aQ));
}
