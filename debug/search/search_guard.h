// What the responder allows an anonymous peer: a budget of search replies (token
// buckets, one per requester and one in all) and a pause on password checks after
// failures. Times are milliseconds of a monotonic clock passed in by the caller, so
// the rules can be driven by tests; each object takes its own lock.
#pragma once

#include <stdint.h>

#include <mutex>

class TokenBucket {
 public:
  TokenBucket() : TokenBucket(0, 0) {}
  TokenBucket(double perSecond, double burst) : rate_(perSecond), burst_(burst), tokens_(burst) {}
  // Takes count tokens if there are that many.
  bool take(int64_t nowMs, double count = 1.0);
  // Whether take(nowMs, count) would succeed; takes nothing.
  bool has(int64_t nowMs, double count = 1.0) const;

 private:
  double rate_, burst_, tokens_;
  int64_t lastMs_ = -1;
};

// Replies to search requests: at most perRequester a second to any one requester
// (a MAC or an IPv4 address packed into 64 bits) and at most total a second in all.
// Requesters beyond the table's size take the slot of the one seen longest ago.
class ReplyLimiter {
 public:
  ReplyLimiter(double perRequester, double total);
  bool allow(uint64_t requester, int64_t nowMs);

 private:
  enum { kSlots = 64 };
  struct Slot {
    uint64_t requester;
    int64_t seenMs;
    TokenBucket bucket;
  };
  std::mutex lock_;
  double perRequester_;
  TokenBucket total_;
  Slot slots_[kSlots];
  int used_ = 0;
};

// After kFreeFailures consecutive failed checks every check is refused unchecked for
// a pause: 1 s, doubled by each further failure, at most 60 s. A success resets it.
class PasswordGuard {
 public:
  enum { kFreeFailures = 3, kFirstPauseMs = 1000, kLongestPauseMs = 60000 };
  // True while a pause runs: refuse without checking.
  bool paused(int64_t nowMs);
  // Counts a failed check; returns the length of the pause it starts, or 0.
  unsigned failed(int64_t nowMs);
  void succeeded(void);

 private:
  std::mutex lock_;
  unsigned failures_ = 0;
  unsigned pauseMs_ = 0;
  int64_t pauseEndMs_ = 0;
};
