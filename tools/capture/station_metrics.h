// The station's state for Prometheus (--metriken): counters of pictures,
// attempts, dials, hang-ups and hook runs, the seconds of calls, and a few
// gauges, in the text exposition
// format that node_exporter's textfile collector serves. Every series
// carries port="<port>", and every label value of a counter is written from
// the start (as 0), so that alert rules can tell "none" from "never seen".
// The file is replaced atomically after every attempt; its hidden temporary
// name does not end in ".prom", so the collector never reads it half
// written.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

class StationMetrics {
public:
    enum class Counter { Pictures, Attempts, Dials, HookRuns, Hangups };

    explicit StationMetrics(std::string port);

    // Counts one event under the label value, one of the values listed for
    // the counter (below); another value is a programming error and throws.
    void count(Counter counter, std::string_view label, std::uint64_t by = 1);
    // Sets a hook counter to the hook's own running count.
    void setCount(Counter counter, std::string_view label, std::uint64_t value);
    std::uint64_t value(Counter counter, std::string_view label) const;

    void setLastSoundPicture(double unixSeconds) { lastSoundPicture_ = unixSeconds; }
    void setLastPictureBytes(std::uint64_t bytes) { lastPictureBytes_ = bytes; }
    void setLineBytesPerSecond(double rate) { lineBytesPerSecond_ = rate; }
    void setIntervalSeconds(double seconds) { intervalSeconds_ = seconds; }
    void setStartTime(double unixSeconds) { startTime_ = unixSeconds; }
    // Adds the length of a call that ended, from CONNECT on.
    void addCallSeconds(double seconds) { callSeconds_ += seconds; }
    // Whether a call is up, and since when (Unix time of its CONNECT; kept
    // only while it is up), so that a call left standing is seen.
    void setCallUp(bool up, double sinceUnixSeconds) {
        callUp_ = up;
        callStarted_ = up ? sinceUnixSeconds : 0;
    }

    // The whole text, as the file holds it.
    std::string text() const;
    // Writes text() to the file atomically; throws UserError like any write.
    void writeTo(const std::string& path) const;

private:
    struct Family {
        const char* name;
        const char* help;
        const char* label;
        std::array<const char*, 8> values; // unused slots are nullptr
        std::array<std::uint64_t, 8> counts{};
    };
    Family& family(Counter counter);
    const Family& family(Counter counter) const;
    std::size_t slot(const Family& family, std::string_view label) const;

    std::string port_;
    std::array<Family, 5> families_;
    double lastSoundPicture_ = 0;
    std::uint64_t lastPictureBytes_ = 0;
    double lineBytesPerSecond_ = 0;
    double intervalSeconds_ = 0;
    double startTime_ = 0;
    double callSeconds_ = 0;
    bool callUp_ = false;
    double callStarted_ = 0;
};
