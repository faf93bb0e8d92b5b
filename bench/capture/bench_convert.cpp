// Wall time and peak memory of merlon-convert on a 30 MB recording, run as a
// child process, against the recording's size (target: at most 3 times), and
// its time beside that of `xxd -r -p` on the same file in the same run
// (target: at most 0.12 of xxd's). Given another build's merlon-convert
// (bench_convert OTHER), that one runs in the same turns and is printed
// beside, so that two builds are compared on one state of the machine.

#include "capture/hex_capture.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct ChildCost {
    double seconds = 0;
    long peakKilobytes = 0;
    // User and system time: unlike the wall time, not stretched by other
    // programs competing for the processor.
    double cpuSeconds = 0;
    int status = -1;
};

// fork, not posix_spawn: a vfork-style child shares the parent's memory until
// it execs and would carry the parent's peak into its own.
ChildCost RunChild(const char* const* argv) {
    ChildCost cost;
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child < 0)
        return cost;
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::execvp(argv[0], const_cast<char* const*>(argv));
        ::_exit(127);
    }
    rusage usage{};
    ::wait4(child, &cost.status, 0, &usage);
    cost.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    cost.peakKilobytes = usage.ru_maxrss;
    cost.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                      static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
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

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Costs {
    std::vector<double> seconds;
    std::vector<double> cpu;
    long peakKilobytes = 0;

    void add(const ChildCost& cost) {
        seconds.push_back(cost.seconds);
        cpu.push_back(cost.cpuSeconds);
        peakKilobytes = std::max(peakKilobytes, cost.peakKilobytes);
    }
};

bool Measure(const char* label, const std::string& head, const char* lineBreak,
             const std::string& tail, const char* other) {
    const std::string recording = "/tmp/bench_convert_recording.txt";
    const std::string output = "/tmp/bench_convert_picture.jpg";
    const double megabytes = WriteRecording(recording, head, lineBreak, tail) / 1e6;
    std::vector<std::vector<const char*>> commands = {
        {MERLON_CONVERT_PATH, recording.c_str(), "-o", output.c_str(), nullptr},
        {"xxd", "-r", "-p", recording.c_str(), output.c_str(), nullptr}};
    if (other)
        commands.push_back({other, recording.c_str(), "-o", output.c_str(), nullptr});
    // Taken in turns, so that all meet the same state of the machine.
    std::vector<Costs> costs(commands.size());
    for (int run = 0; run < 5; ++run) {
        for (std::size_t c = 0; c < commands.size(); ++c) {
            const ChildCost cost = RunChild(commands[c].data());
            if (cost.status != 0) {
                std::fprintf(stderr, "%s failed (status %d)\n", commands[c][0], cost.status);
                return false;
            }
            costs[c].add(cost);
        }
    }
    ::unlink(recording.c_str());
    ::unlink(output.c_str());
    const Costs& reference = costs[1];
    const double theirs = Median(reference.seconds);
    const double theirCpu = Median(reference.cpu);
    for (std::size_t c = 0; c < costs.size(); ++c) {
        if (c == 1)
            continue;
        const double peakMegabytes = costs[c].peakKilobytes * 1024.0 / 1e6;
        const double ours = Median(costs[c].seconds);
        const double ourCpu = Median(costs[c].cpu);
        std::printf("%-18s %5.1f MB: %s %6.1f ms, xxd -r -p %6.1f ms (%.2fx); "
                    "processor time %5.1f ms against %5.1f ms (%.2fx); "
                    "peak %5.1f MB = %.2fx the recording\n",
                    label, megabytes, c == 0 ? "merlon-convert" : "other build", ours * 1e3,
                    theirs * 1e3, ours / theirs, ourCpu * 1e3, theirCpu * 1e3, ourCpu / theirCpu,
                    peakMegabytes, peakMegabytes / megabytes);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const char* other = argc > 1 ? argv[1] : nullptr;
    if (!Measure("CR LF recording",
                 "AT\r\r\nOK\r\nATD 0157\r\r\nCONNECT 9600\r\nBILD\r\r\nCAM_B\r\n", "\r\n",
                 "CAM_E\r\n\r\nNO CARRIER\r\n", other))
        return 1;
    // Every line break widens by one character on loading.
    if (!Measure("LF-only recording", "AT\nOK\nCAM_B\n", "\n", "CAM_E\n", other))
        return 1;
    return 0;
}
