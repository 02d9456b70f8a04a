// Reply budgets and the password-check pause of the discovery responder.
#include "search_guard.h"

bool TokenBucket::take(int64_t nowMs, double count) {
  if (lastMs_ >= 0 && nowMs > lastMs_) {
    tokens_ += (double)(nowMs - lastMs_) * rate_ / 1000.0;
    if (tokens_ > burst_) tokens_ = burst_;
  }
  if (lastMs_ < 0 || nowMs > lastMs_) lastMs_ = nowMs;
  if (tokens_ < count) return false;
  tokens_ -= count;
  return true;
}

bool TokenBucket::has(int64_t nowMs, double count) const {
  double tokens = tokens_;
  if (lastMs_ >= 0 && nowMs > lastMs_) tokens += (double)(nowMs - lastMs_) * rate_ / 1000.0;
  return (tokens > burst_ ? burst_ : tokens) >= count;
}

ReplyLimiter::ReplyLimiter(double perRequester, double total)
    : perRequester_(perRequester),
      total_(total, total),
      slots_{} {}

bool ReplyLimiter::allow(uint64_t requester, int64_t nowMs) {
  std::lock_guard<std::mutex> hold(lock_);
  // With the shared budget spent (a flood), no requester is looked up: nothing else
  // the responder does for a request costs as much.
  if (!total_.has(nowMs)) return false;
  Slot *slot = nullptr;
  for (int i = 0; i < used_ && !slot; i++)
    if (slots_[i].requester == requester) slot = &slots_[i];
  if (!slot) {
    if (used_ < kSlots) {
      slot = &slots_[used_++];
    } else {
      slot = &slots_[0];
      for (int i = 1; i < kSlots; i++)
        if (slots_[i].seenMs < slot->seenMs) slot = &slots_[i];
    }
    *slot = Slot{requester, nowMs, TokenBucket(perRequester_, perRequester_)};
  }
  slot->seenMs = nowMs;
  // A requester over its own budget does not use up the shared one.
  return slot->bucket.take(nowMs) && total_.take(nowMs);
}

bool PasswordGuard::paused(int64_t nowMs) {
  std::lock_guard<std::mutex> hold(lock_);
  return pauseMs_ != 0 && nowMs < pauseEndMs_;
}

unsigned PasswordGuard::failed(int64_t nowMs) {
  std::lock_guard<std::mutex> hold(lock_);
  if (++failures_ < kFreeFailures) return 0;
  pauseMs_ = pauseMs_ == 0 ? unsigned(kFirstPauseMs) : pauseMs_ * 2;
  if (pauseMs_ > unsigned(kLongestPauseMs)) pauseMs_ = kLongestPauseMs;
  pauseEndMs_ = nowMs + pauseMs_;
  return pauseMs_;
}

void PasswordGuard::succeeded(void) {
  std::lock_guard<std::mutex> hold(lock_);
  failures_ = 0;
  pauseMs_ = 0;
  pauseEndMs_ = 0;
}
