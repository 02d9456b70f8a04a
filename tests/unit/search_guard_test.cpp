// Reply budgets and the password-check pause, driven by a clock of our own.
#include "search_guard.h"

#include <gtest/gtest.h>

namespace {

int granted(ReplyLimiter &limiter, uint64_t requester, int64_t nowMs, int asks) {
  int n = 0;
  for (int i = 0; i < asks; i++) n += limiter.allow(requester, nowMs) ? 1 : 0;
  return n;
}

TEST(ReplyLimiter, PerRequesterAndTotalBudgets) {
  ReplyLimiter limiter(5, 100);
  EXPECT_EQ(granted(limiter, 1, 0, 50), 5);
  EXPECT_EQ(granted(limiter, 1, 100, 5), 0);   // half a token back: still none
  EXPECT_EQ(granted(limiter, 1, 200, 5), 1);   // one token a fifth of a second
  EXPECT_EQ(granted(limiter, 1, 10000, 50), 5);  // never more than the burst
  // Many requesters share the total: 100 at once, then 100 a second.
  ReplyLimiter shared(5, 100);
  int n = 0;
  for (uint64_t who = 0; who < 400; who++) n += granted(shared, who, 0, 5);
  EXPECT_EQ(n, 100);
  n = 0;
  for (uint64_t who = 400; who < 800; who++) n += granted(shared, who, 500, 1);
  EXPECT_EQ(n, 50);
}

// A requester far over its own budget takes nothing from the shared one: the next
// requester is answered at once, in full.
TEST(ReplyLimiter, OneRequesterCannotStarveAnother) {
  ReplyLimiter limiter(5, 100);
  EXPECT_EQ(granted(limiter, 1, 0, 200), 5);
  EXPECT_EQ(granted(limiter, 2, 0, 5), 5);
  EXPECT_EQ(granted(limiter, 1, 1, 200), 0);
  EXPECT_EQ(granted(limiter, 3, 1, 5), 5);
}

// A full table gives a newcomer the slot of the requester seen longest ago: that one
// alone starts again with a full budget; every other keeps its spent one.
TEST(ReplyLimiter, NewcomerTakesTheSlotSeenLongestAgo) {
  ReplyLimiter limiter(5, 1e6);
  for (uint64_t who = 0; who < 64; who++) EXPECT_EQ(granted(limiter, who, who, 5), 5);
  EXPECT_EQ(granted(limiter, 0, 64, 1), 0);   // seen again: now 1 is the oldest
  EXPECT_EQ(granted(limiter, 1000, 65, 5), 5);
  for (uint64_t who = 0; who < 64; who++) {
    if (who == 1) continue;
    EXPECT_EQ(granted(limiter, who, 66, 1), 0) << who;
  }
  EXPECT_EQ(granted(limiter, 1000, 66, 1), 0);
  EXPECT_EQ(granted(limiter, 1, 67, 5), 5);
}

TEST(TokenBucket, TakesSeveralTokensAllOrNone) {
  TokenBucket lines(5, 10);
  for (int i = 0; i < 5; i++) EXPECT_TRUE(lines.take(0, 2)) << i;
  EXPECT_FALSE(lines.take(0, 2));
  EXPECT_FALSE(lines.take(100, 2));  // half a token back is not enough for two
  EXPECT_TRUE(lines.take(400, 2));
  EXPECT_FALSE(lines.take(400, 1));  // the refused take above used up nothing, this one finds none
}

TEST(PasswordGuard, PausesDoubleAfterThreeFailuresAndASuccessResets) {
  PasswordGuard guard;
  EXPECT_EQ(guard.failed(0), 0u);
  EXPECT_EQ(guard.failed(10), 0u);
  EXPECT_FALSE(guard.paused(20));
  EXPECT_EQ(guard.failed(20), 1000u);
  EXPECT_TRUE(guard.paused(1019));
  EXPECT_FALSE(guard.paused(1020));
  unsigned pause = 1000;
  for (int64_t now = 2000; pause < 60000; now += 100000) {
    unsigned next = guard.failed(now);
    EXPECT_EQ(next, pause * 2 > 60000 ? 60000u : pause * 2);
    pause = next;
  }
  EXPECT_EQ(guard.failed(1000000), 60000u);  // capped
  guard.succeeded();
  EXPECT_FALSE(guard.paused(1000001));
  EXPECT_EQ(guard.failed(1000002), 0u);
}

}  // namespace
