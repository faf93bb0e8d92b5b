// Wall time and peak memory of merlon-convert on a 30 MB recording, run as a
// child process, against the recording's size (target: at most 3 times).

#include "capture/hex_capture.h"

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct ChildCost {
    double seconds = 0;
    long peakKilobytes = 0;
    int status = -1;
};

// fork, not posix_spawn: a vfork-style child shares the parent's memory until
// it execs and would carry the parent's peak into its own.
ChildCost RunConverter(const std::string& recording, const std::string& output) {
    const char* const argv[] = {MERLON_CONVERT_PATH, recording.c_str(), "-o", output.c_str(),
                                nullptr};
    ChildCost cost;
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child < 0)
        return cost;
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::execv(argv[0], const_cast<char* const*>(argv));
        ::_exit(127);
    }
    rusage usage{};
    ::wait4(child, &cost.status, 0, &usage);
    cost.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    cost.peakKilobytes = usage.ru_maxrss;
    return cost;
}

// The recording is written in lines and never held whole, so that this
// process stays small: a forked child counts the parent's resident size in
// its own peak until it execs.
std::size_t WriteRecording(const std::string& path, const std::string& head, const char* lineBreak,
                           const std::string& tail) {
    constexpr std::size_t kLines = 10'000'000 / 32;
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    std::size_t size = head.size() + tail.size();
    file << head;
    std::mt19937 random(42);
    std::string bytes(32, '\0');
    for (std::size_t n = 0; n < kLines; ++n) {
        for (char& byte : bytes)
            byte = static_cast<char>(random());
        const std::string line = EncodeHexPairs(bytes) + lineBreak;
        size += line.size();
        file << line;
    }
    file << tail;
    return size;
}

bool Measure(const char* label, const std::string& head, const char* lineBreak,
             const std::string& tail) {
    const std::string recording = "/tmp/bench_convert_recording.txt";
    const std::string output = "/tmp/bench_convert_picture.jpg";
    const double megabytes = WriteRecording(recording, head, lineBreak, tail) / 1e6;
    ChildCost best;
    for (int run = 0; run < 3; ++run) {
        const ChildCost cost = RunConverter(recording, output);
        if (cost.status != 0) {
            std::fprintf(stderr, "merlon-convert failed (status %d)\n", cost.status);
            return false;
        }
        if (run == 0 || cost.seconds < best.seconds)
            best = cost;
    }
    ::unlink(recording.c_str());
    ::unlink(output.c_str());
    const double peakMegabytes = best.peakKilobytes * 1024.0 / 1e6;
    std::printf("%-20s %6.1f MB: %7.1f ms, peak %6.1f MB = %.2fx the recording\n", label, megabytes,
                best.seconds * 1e3, peakMegabytes, peakMegabytes / megabytes);
    return true;
}

} // namespace

int main() {
    if (!Measure("CR LF recording",
                 "AT\r\r\nOK\r\nATD 0157\r\r\nCONNECT 9600\r\nBILD\r\r\nCAM_B\r\n", "\r\n",
                 "CAM_E\r\n\r\nNO CARRIER\r\n"))
        return 1;
    // Every line break widens by one character on loading.
    if (!Measure("LF-only recording", "AT\nOK\nCAM_B\n", "\n", "CAM_E\n"))
        return 1;
    return 0;
}
