// Parser of detector replay lines.
#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include "traffic_sim.h"

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// A whole token as a decimal integer in [lo, hi].
bool parse_int(const char *s, size_t len, long lo, long hi, long *out) {
  char buf[24];
  if (len == 0 || len >= sizeof buf) return false;
  memcpy(buf, s, len);
  buf[len] = '\0';
  char *stop = nullptr;
  errno = 0;
  long v = strtol(buf, &stop, 10);
  if (*stop != '\0' || errno != 0 || v < lo || v > hi) return false;
  *out = v;
  return true;
}

bool parse_score(const char *s, size_t len, float *out) {
  char buf[48];
  if (len == 0 || len >= sizeof buf) return false;
  memcpy(buf, s, len);
  buf[len] = '\0';
  char *stop = nullptr;
  float v = strtof(buf, &stop);
  if (stop == buf || *stop != '\0') return false;
  *out = v;  // nan and inf pass: a detector may produce them
  return true;
}

// "score,left,top,right,bottom".
bool parse_object(const char *s, size_t len, TrafficObject *obj) {
  const char *field[5];
  size_t flen[5];
  size_t n = 0, start = 0;
  for (size_t i = 0; i <= len; ++i) {
    if (i == len || s[i] == ',') {
      if (n == 5) return false;
      field[n] = s + start;
      flen[n] = i - start;
      ++n;
      start = i + 1;
    }
  }
  if (n != 5) return false;
  float score;
  long edge[4];
  if (!parse_score(field[0], flen[0], &score)) return false;
  for (int k = 0; k < 4; ++k)
    if (!parse_int(field[k + 1], flen[k + 1], 0, 65535, &edge[k])) return false;
  memset(obj, 0, sizeof *obj);
  obj->score = score;
  obj->left = (uint16_t)edge[0];
  obj->top = (uint16_t)edge[1];
  obj->right = (uint16_t)edge[2];
  obj->bottom = (uint16_t)edge[3];
  return true;
}

}  // namespace

ReplayLine traffic_replay_parse(const char *line, size_t len, TrafficOutput *out) {
  ReplayLine r = {0, 0, 0};
  bool haveCount = false;
  long count = 0;
  size_t i = 0;
  bool first = true;
  while (i < len) {
    while (i < len && is_blank(line[i])) ++i;
    if (i == len) break;
    size_t start = i;
    while (i < len && !is_blank(line[i])) ++i;
    const char *tok = line + start;
    size_t tlen = i - start;
    if (first && tlen > 2 && tok[0] == 'n' && tok[1] == '=') {
      first = false;
      if (parse_int(tok + 2, tlen - 2, INT_MIN, INT_MAX, &count)) haveCount = true;
      else r.bad++;
      continue;
    }
    first = false;
    if (r.stored < QZ_TRAFFIC_MAX_OBJECTS && parse_object(tok, tlen, &out->objects[r.stored]))
      r.stored++;
    else
      r.bad++;
  }
  r.count = haveCount ? (int)count : r.stored;
  return r;
}
