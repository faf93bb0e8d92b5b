// What the verdict on a received picture costs for a 640 × 480 picture from
// the simulated board, sound and with one hex digit lost, beside the time the
// picture takes on the line at 921 600 bit/s; and, where libjpeg-turbo's
// djpeg is installed, what it says about the damaged picture and how long it
// takes, its own start included.
#include "camera/picture_verdict.h"
#include "capture/hex_capture.h"
#include "picture/jpeg_reading.h"
#include "tools/board-sim/picture_scene.h"
#include "tools/board-sim/picture_stream.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Milliseconds = std::chrono::duration<double, std::milli>;

constexpr int kRuns = 200;
constexpr double kLineBitsPerSecond = 921'600;
constexpr double kBitsPerCharacter = 10; // start bit, 8 data bits, stop bit
constexpr double kCharactersPerByte = 3; // two hex digits and a space

struct Timing {
    double median = 0;
    double worst = 0;
};

template <typename Work> Timing Time(Work work) {
    std::vector<double> runs;
    runs.reserve(kRuns);
    for (int run = 0; run < kRuns; ++run) {
        const auto start = std::chrono::steady_clock::now();
        work();
        runs.push_back(Milliseconds(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(runs.begin(), runs.end());
    return {runs[runs.size() / 2], runs.back()};
}

void Report(const char* what, Timing timing) {
    std::printf("%-44s median %6.3f ms  worst %6.3f ms\n", what, timing.median, timing.worst);
}

// Runs djpeg on the picture; its first message, or "" when it had none.
std::string DjpegSays(const std::string& path) {
    const std::string command = "djpeg -outfile /dev/null " + path + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return "";
    std::array<char, 512> line{};
    std::string said;
    if (std::fgets(line.data(), static_cast<int>(line.size()), pipe))
        said = line.data();
    ::pclose(pipe);
    if (!said.empty() && said.back() == '\n')
        said.pop_back();
    return said;
}

} // namespace

int main() {
    const std::string jpeg =
        TakePicture(SceneRequest{BoardOptions{false, false, true}, 1, "12:00:00"}, 75);
    const std::string sound = BuildPictureStream(jpeg, {}, 0).text;
    // One digit lost in the middle of the picture, its end marker still sent.
    std::string damaged = sound;
    damaged.erase(kCaptureStartSkip + 3 * (jpeg.size() / 2), 1);

    const DecodedCapture soundCapture = DecodeHexCapture(sound);
    const DecodedCapture damagedCapture = DecodeHexCapture(damaged);
    const double lineMs = static_cast<double>(jpeg.size()) * kCharactersPerByte *
                          kBitsPerCharacter / kLineBitsPerSecond * 1e3;
    std::printf(
        "Picture: 640 x 480, %zu bytes, %zu characters on the line, %.0f ms at 921 600 bit/s\n",
        jpeg.size(), sound.size(), lineMs);
    std::printf("Verdicts: sound stream \"%s\", digit lost \"%s\"\n",
                VerdictText(JudgePicture(sound, soundCapture.bytes)),
                VerdictText(JudgePicture(damaged, damagedCapture.bytes)));

    const Timing verdict = Time([&] { JudgePicture(sound, soundCapture.bytes); });
    Report("Verdict, sound picture", verdict);
    Report("Verdict, digit lost", Time([&] { JudgePicture(damaged, damagedCapture.bytes); }));
    Report("  of it: libjpeg reading every scan", Time([&] { InspectJpeg(soundCapture.bytes); }));
    Report("For comparison: decoding the stream", Time([&] { DecodeHexCapture(sound); }));
    // A camera's picture of a real scene holds more detail than the drawn one.
    const std::string fine =
        TakePicture(SceneRequest{BoardOptions{false, false, true}, 1, "12:00:00"}, 98);
    const std::string fineText = BuildPictureStream(fine, {}, 0).text;
    const std::string fineBytes = DecodeHexCapture(fineText).bytes;
    char label[64];
    std::snprintf(label, sizeof label, "Verdict, same at quality 98 (%zu bytes)", fine.size());
    Report(label, Time([&] { JudgePicture(fineText, fineBytes); }));
    std::printf("Verdict's share of the line time: median %.2f %%, worst %.2f %%\n",
                verdict.median / lineMs * 100, verdict.worst / lineMs * 100);

    char path[] = "/tmp/bench_verdict_XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0) {
        std::perror("mkstemp");
        return 1;
    }
    ::close(fd);
    std::ofstream(path, std::ios::binary) << damagedCapture.bytes;
    if (std::system("djpeg -version < /dev/null > /dev/null 2>&1") != 0) {
        std::printf("djpeg: not available\n");
    } else {
        const std::string said = DjpegSays(path);
        std::printf("djpeg on the damaged picture: %s\n",
                    said.empty() ? "(no message)" : said.c_str());
        const std::string command =
            std::string("djpeg -outfile /dev/null ") + path + " 2>/dev/null";
        std::vector<double> runs;
        for (int run = 0; run < 20; ++run) {
            const auto start = std::chrono::steady_clock::now();
            if (std::system(command.c_str()) == -1)
                break;
            runs.push_back(Milliseconds(std::chrono::steady_clock::now() - start).count());
        }
        std::sort(runs.begin(), runs.end());
        if (!runs.empty())
            std::printf("djpeg, same picture, its start included:   median %6.3f ms\n",
                        runs[runs.size() / 2]);
    }
    ::unlink(path);
    return 0;
}
