#include "tools/capture/station_metrics.h"

#include "platform/files.h"
#include "tools/capture/utf8_sequence.h"

#include <cstdio>
#include <stdexcept>

namespace {

// A label value as the text format wants it: valid UTF-8 (each byte that
// is not becomes U+FFFD, as a port named in another encoding may give),
// backslash, double quote and line feed escaped.
std::string Escaped(std::string_view value) {
    std::string escaped;
    for (std::size_t at = 0; at < value.size();) {
        const std::size_t length = Utf8SequenceLength(value, at);
        if (length == 0) {
            escaped += kReplacementCharacter;
            ++at;
            continue;
        }
        const char c = value[at];
        if (c == '\\' || c == '"')
            escaped += '\\';
        if (c == '\n')
            escaped += "\\n";
        else
            escaped.append(value.substr(at, length));
        at += length;
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
                                  {"merlon_capture_hangups_total",
                                   "Calls the station ended, by whether the modem confirmed.",
                                   "outcome",
                                   {"ok", "failed"}},
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
    auto single = [&](const char* type, const char* name, const char* help,
                      const std::string& value) {
        text += std::string("# HELP ") + name + " " + help + "\n";
        text += std::string("# TYPE ") + name + " " + type + "\n";
        text += std::string(name) + "{" + port + "} " + value + "\n";
    };
    single("counter", "merlon_capture_call_seconds_total",
           "Seconds of the calls that ended, from CONNECT to the end of each.",
           Number(callSeconds_));
    auto gauge = [&](const char* name, const char* help, const std::string& value) {
        single("gauge", name, help, value);
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
    gauge("merlon_capture_call_up", "1 while a call is up, else 0.", callUp_ ? "1" : "0");
    gauge("merlon_capture_call_started_timestamp_seconds",
          "When the call up now began (Unix time of its CONNECT; 0 while none is up).",
          Number(callStarted_));
    return text;
}

void StationMetrics::writeTo(const std::string& path) const {
    WriteFileAtomically(path, text());
}
