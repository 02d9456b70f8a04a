// Maximum-weight assignment of cars to spaces: the labelled, slack-based
// Kuhn-Munkres method over integer weights (score x 100, truncated).
//
// Only the first KM_MAX cars and spaces take part. The matcher's state is one fixed
// process-wide record, so KM must only be called from one thread (the worker).
#pragma once

enum { KM_MAX = 128 };

// The integer weight of a score: score x 100, truncated. Scores outside [0, 1.001]
// only come from broken geometry (and converting an infinity to an integer is
// undefined), so they weigh 0. The overlap measure's fast path relies on this very
// rule, so it is written here once.
inline int km_weight(float score) {
  if (!(score >= 0.0f && score <= 1.001f)) return 0;
  return (int)(score * 100);
}

// scores: n x S, row-major, row = car. Fills carMatch[0..n) (space of each car) and
// spaceMatch[0..S) (car of each space), -1 where none; a pair is only assigned when
// its weight is positive. A score that is not a number, infinite, negative or above
// 1.001 gets weight 0. Returns the total weight of the assigned pairs.
int KM(const float *scores, int n, int S, int *carMatch, int *spaceMatch);

// Searches exhausted by the last KM call (each printed a warning); for tests.
int km_exhausted_spaces(void);
// Lowers the number of augmenting searches a space may take (default 16384); for
// tests of the exhaustion path.
void km_set_search_limit(int searches);
