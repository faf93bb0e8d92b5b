#include "tools/capture/station_metrics.h"

#include "platform/files.h"

#include <cstdio>
#include <stdexcept>

namespace {

// A label value as the text format wants it: backslash, double quote and
// line feed escaped.
std::string Escaped(std::string_view value) {
    std::string escaped;
    for (const char c : value) {
        if (c == '\\' || c == '"')
            escaped += '\\';
        if (c == '\n') {
            escaped += "\\n";
            continue;
        }
        escaped += c;
    }
    return escaped;
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

} // namespace

StationMetrics::StationMetrics(std::string port)
    : port_(std::move(port)), families_{{
                                  {"merlon_capture_pictures_total",
                                   "Pictures received whole, by their verdict.",
                                   "verdict",
                                   {"sound", "damaged", "unreadable"}},
                                  {"merlon_capture_attempts_total",
                                   "Tries at a picture, by how they ended.",
                                   "outcome",
                                   {"sound", "damaged", "unreadable", "no_picture", "line_dropped",
                                    "port_failed", "dial_failed", "store_failed"}},
                                  {"merlon_capture_dials_total",
                                   "Dials, by the modem's answer.",
                                   "result",
                                   {"connect", "busy", "no_answer", "no_carrier", "no_dialtone",
                                    "error", "silent"}},
                                  {"merlon_capture_hook_runs_total",
                                   "Runs of the command after a picture, by outcome.",
                                   "outcome",
                                   {"ok", "failed", "timed_out", "skipped"}},
                              }} {}

StationMetrics::Family& StationMetrics::family(Counter counter) {
    return families_[static_cast<std::size_t>(counter)];
}

const StationMetrics::Family& StationMetrics::family(Counter counter) const {
    return families_[static_cast<std::size_t>(counter)];
}

std::size_t StationMetrics::slot(const Family& family, std::string_view label) const {
    for (std::size_t i = 0; i < family.values.size() && family.values[i]; ++i)
        if (label == family.values[i])
            return i;
    throw std::invalid_argument(std::string(family.name) + " has no label " + std::string(label));
}

void StationMetrics::count(Counter counter, std::string_view label, std::uint64_t by) {
    Family& counted = family(counter);
    counted.counts[slot(counted, label)] += by;
}

void StationMetrics::setCount(Counter counter, std::string_view label, std::uint64_t value) {
    Family& counted = family(counter);
    counted.counts[slot(counted, label)] = value;
}

std::uint64_t StationMetrics::value(Counter counter, std::string_view label) const {
    const Family& counted = family(counter);
    return counted.counts[slot(counted, label)];
}

std::string StationMetrics::text() const {
    const std::string port = "port=\"" + Escaped(port_) + "\"";
    std::string text;
    for (const Family& counted : families_) {
        text += std::string("# HELP ") + counted.name + " " + counted.help + "\n";
        text += std::string("# TYPE ") + counted.name + " counter\n";
        for (std::size_t i = 0; i < counted.values.size() && counted.values[i]; ++i)
            text += std::string(counted.name) + "{" + port + "," + counted.label + "=\"" +
                    counted.values[i] + "\"} " + std::to_string(counted.counts[i]) + "\n";
    }
    auto gauge = [&](const char* name, const char* help, const std::string& value) {
        text += std::string("# HELP ") + name + " " + help + "\n";
        text += std::string("# TYPE ") + name + " gauge\n";
        text += std::string(name) + "{" + port + "} " + value + "\n";
    };
    gauge("merlon_capture_last_sound_picture_timestamp_seconds",
          "When the last sound picture was stored (Unix time; 0 before the first).",
          Number(lastSoundPicture_));
    gauge("merlon_capture_last_picture_bytes", "Size of the last picture received whole.",
          std::to_string(lastPictureBytes_));
    gauge("merlon_capture_line_bytes_per_second",
          "Characters a second on the line while the last picture arrived.",
          Number(lineBytesPerSecond_));
    gauge("merlon_capture_interval_seconds",
          "The interval between pictures (0 unless pictures are taken every N minutes).",
          Number(intervalSeconds_));
    gauge("merlon_capture_start_time_seconds", "When this run of merlon-capture started.",
          Number(startTime_));
    return text;
}

void StationMetrics::writeTo(const std::string& path) const {
    WriteFileAtomically(path, text());
}
