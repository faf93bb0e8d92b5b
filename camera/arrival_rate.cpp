#include "camera/arrival_rate.h"

namespace {

// Long enough to smooth the line's bursts over several ticks, short enough
// to follow a line that slows down or stalls.
constexpr std::int64_t kWindowMs = 5000;
// Below this the first samples say more about the tick than about the line.
constexpr std::int64_t kShortestSpanMs = 900;

} // namespace

void ArrivalRate::add(std::int64_t nowMs, std::size_t bytes) {
    if (!samples_.empty() && (bytes < samples_.back().bytes || nowMs < samples_.back().atMs))
        samples_.clear();
    samples_.push_back({nowMs, bytes});
    // Keep one sample at or beyond the window's start, so that the span
    // covers the whole window.
    while (samples_.size() > 2 && samples_[1].atMs <= nowMs - kWindowMs)
        samples_.pop_front();
}

std::optional<double> ArrivalRate::bytesPerSecond() const {
    if (samples_.size() < 2)
        return std::nullopt;
    const Sample& first = samples_.front();
    const Sample& last = samples_.back();
    const std::int64_t spanMs = last.atMs - first.atMs;
    if (spanMs < kShortestSpanMs)
        return std::nullopt;
    return static_cast<double>(last.bytes - first.bytes) * 1000.0 / static_cast<double>(spanMs);
}
