// How fast a picture arrives: its decoded bytes as the capture ticks see
// them, over the last few seconds, so that a status line can tell the rate
// and how long the rest will take. Times are the clock interface's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>

class ArrivalRate {
public:
    // The picture had this many bytes at this time. Fewer than last time
    // means a new picture: the measure starts again.
    void add(std::int64_t nowMs, std::size_t bytes);
    void reset() { samples_.clear(); }
    // Bytes per second over the last few seconds; nothing until the samples
    // span enough time to tell.
    std::optional<double> bytesPerSecond() const;

private:
    struct Sample {
        std::int64_t atMs;
        std::size_t bytes;
    };
    std::deque<Sample> samples_;
};
