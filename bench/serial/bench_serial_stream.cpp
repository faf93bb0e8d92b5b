// Streams 1 MB of picture-stream hex text into a pseudo-terminal as fast as
// it goes, while the reading thread polls every 20 ms as the data window does
// (one chunk read, then whatever is waiting). Checks every byte arrived and
// prints the rate and how much of the time the reading thread was held.
#include "capture/hex_capture.h"
#include "serial/com_port.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <pty.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

using SteadyClock = std::chrono::steady_clock;

std::string PictureStream(std::size_t size) {
    std::string values;
    unsigned value = 0xFF;
    for (std::size_t used = 6; used + 3 + 5 <= size; used += 3) {
        values += static_cast<char>(value & 0xFF);
        value = value * 1103515245u + 12345u;
    }
    std::string stream = "CAM_B " + EncodeHexPairs(values) + "CAM_E";
    stream.resize(size, ' ');
    return stream;
}

double ThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

double Seconds(SteadyClock::duration span) {
    return std::chrono::duration<double>(span).count();
}

} // namespace

int main() {
    int master = -1;
    int slave = -1;
    char slaveName[128] = {};
    if (openpty(&master, &slave, slaveName, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    termios raw{};
    tcgetattr(master, &raw);
    cfmakeraw(&raw);
    tcsetattr(master, TCSANOW, &raw);
    setenv("MERLON_COM1", slaveName, 1);
    OpenComPort({"1", "115200", "8"});

    const std::string sent = PictureStream(1000000);
    std::thread farSide([&] {
        std::size_t done = 0;
        while (done < sent.size()) {
            const ssize_t n = ::write(master, sent.data() + done,
                                      std::min<std::size_t>(4096, sent.size() - done));
            if (n <= 0)
                return;
            done += static_cast<std::size_t>(n);
        }
    });

    std::string received;
    received.reserve(sent.size());
    std::size_t polls = 0;
    std::size_t largestPoll = 0;
    SteadyClock::duration held{};
    const double cpuAtStart = ThreadCpuSeconds();
    const auto start = SteadyClock::now();
    auto nextTick = start;
    auto lastProgress = start;
    while (received.size() < sent.size()) {
        std::this_thread::sleep_until(nextTick);
        const auto pollStart = SteadyClock::now();
        std::string chunk;
        ReadComChunk(ComHandle, chunk);
        ReadComWaiting(ComHandle, chunk);
        const auto pollEnd = SteadyClock::now();
        held += pollEnd - pollStart;
        ++polls;
        largestPoll = std::max(largestPoll, chunk.size());
        received += chunk;
        if (!chunk.empty())
            lastProgress = pollEnd;
        else if (pollEnd - lastProgress > std::chrono::seconds(10))
            break;
        // Like a 20 ms timer: ticks missed while a poll ran collapse into one.
        nextTick += std::chrono::milliseconds(20);
        if (nextTick < pollEnd)
            nextTick = pollEnd;
    }
    const auto end = SteadyClock::now();
    const double cpu = ThreadCpuSeconds() - cpuAtStart;
    farSide.join();
    CloseComPort(ComHandle);
    ::close(slave);
    ::close(master);

    const double wall = Seconds(end - start);
    const bool complete = received == sent;
    std::printf("bench_serial_stream: %zu of %zu bytes arrived %s\n", received.size(), sent.size(),
                complete ? "intact" : "DAMAGED OR INCOMPLETE");
    std::printf("  time %.3f s, rate %.1f KB/s\n", wall,
                static_cast<double>(received.size()) / 1000.0 / wall);
    std::printf("  polls %zu, largest poll %zu bytes, mean %.0f bytes\n", polls, largestPoll,
                static_cast<double>(received.size()) / static_cast<double>(polls));
    std::printf("  reading thread held in port calls %.1f %% of the time, on the CPU %.1f %%\n",
                100.0 * Seconds(held) / wall, 100.0 * cpu / wall);
    return complete ? 0 : 1;
}
