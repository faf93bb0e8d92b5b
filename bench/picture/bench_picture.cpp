// Figures for the picture view: load plus first drawing of a camera-sized
// picture with and without DCT scaling, and time and peak memory of files
// crafted to declare huge sizes or endless scans.
#include "picture/jpeg_decoder.h"
#include "picture/jpeg_encoder.h"
#include "picture/picture_view.h"

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <utility>
#include <vector>

namespace {

// A picture with detail everywhere, so that it compresses like a photograph
// rather than like a flat test card.
std::string cameraPicture(int width, int height, bool progressive = false) {
    std::vector<unsigned char> rgb(static_cast<size_t>(width) * height * 3);
    unsigned noise = 12345;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            noise = noise * 1103515245u + 12345u;
            const int grain = static_cast<int>((noise >> 16) % 32) - 16;
            unsigned char* pixel = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            pixel[0] = static_cast<unsigned char>(std::clamp(x * 255 / width + grain, 0, 255));
            pixel[1] = static_cast<unsigned char>(
                std::clamp(int(127 + 100 * std::sin(x / 23.0 + y / 31.0)) + grain, 0, 255));
            pixel[2] = static_cast<unsigned char>(std::clamp(y * 255 / height + grain, 0, 255));
        }
    return EncodeJpeg(rgb.data(), width, height, 85, progressive);
}

void put16(std::string& out, int value) {
    out += static_cast<char>((value >> 8) & 0xFF);
    out += static_cast<char>(value & 0xFF);
}

void putSegment(std::string& out, int marker, const std::string& body) {
    out += static_cast<char>(0xFF);
    out += static_cast<char>(marker);
    put16(out, static_cast<int>(body.size()) + 2);
    out += body;
}

std::string scanHeader(int start, int end) {
    return std::string("\x01\x01\x00", 3) + static_cast<char>(start) + static_cast<char>(end) +
           '\0';
}

// Grey (one component) or RGB (three, no subsampling) declaring width ×
// height, tables whose one-bit codes make every zero bit "nothing here", and
// a few data bytes per scan; progressive files are grey.
std::string crafted(int width, int height, bool progressive, int scans, bool rgb = false) {
    std::string out("\xFF\xD8", 2);
    putSegment(out, 0xDB, std::string(1, '\0') + std::string(64, '\1'));
    std::string frame(1, '\x08');
    put16(frame, height);
    put16(frame, width);
    frame += rgb ? std::string("\x03R\x11\x00G\x11\x00"
                               "B\x11\x00",
                               10)
                 : std::string("\x01\x01\x11\x00", 4);
    putSegment(out, progressive ? 0xC2 : 0xC0, frame);
    std::string table(17, '\0');
    table[1] = 1;
    table += '\0';
    putSegment(out, 0xC4, table);
    table[0] = 0x10;
    putSegment(out, 0xC4, table);
    if (rgb) {
        putSegment(out, 0xDA,
                   std::string("\x03R\x00G\x00"
                               "B\x00\x00\x3f\x00",
                               10));
        out.append(16, '\0');
    } else if (!progressive) {
        putSegment(out, 0xDA, scanHeader(0, 63));
        out.append(16, '\0');
    } else {
        putSegment(out, 0xDA, scanHeader(0, 0));
        out.append(4, '\0');
        for (int scan = 1; scan < scans; ++scan) {
            putSegment(out, 0xDA, scanHeader(1, 63));
            out.append(4, '\0');
        }
    }
    out += std::string("\xFF\xD9", 2);
    return out;
}

long residentKbAfterForgettingPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key)
        if (key == "VmRSS:") {
            long kb = 0;
            status >> kb;
            return kb;
        }
    return 0;
}

long peakResidentKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

struct Timing {
    double best;
    double median;
};

Timing timeRuns(int runs, const std::function<void()>& run) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        run();
        ms.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return {ms.front(), ms[ms.size() / 2]};
}

void showPicture(const std::string& bytes, JpegScaling scaling) {
    PictureView view;
    view.resize(320, 240);
    view.setScaling(scaling);
    view.loadBytes(bytes);
    view.grab(); // the first drawing: decoding, stretching, painting
}

void benchShowing(int width, int height) {
    const std::string bytes = cameraPicture(width, height);
    std::printf("\nshowing a %d x %d picture (%zu bytes) in 320 x 240, %d runs each\n", width,
                height, bytes.size(), 25);
    for (const auto& [name, scaling] :
         {std::pair{"with DCT scaling     ", JpegScaling::FitBox},
          std::pair{"full size, then scale", JpegScaling::FullSize}}) {
        const Timing shown = timeRuns(25, [&] { showPicture(bytes, scaling); });
        const Timing decoded = timeRuns(25, [&] { DecodeJpeg(bytes, 320, 240, scaling); });
        std::printf("  %s  load + first drawing: best %6.2f ms, median %6.2f ms"
                    "   (decoding alone: best %6.2f, median %6.2f)\n",
                    name, shown.best, shown.median, decoded.best, decoded.median);
    }
}

// Drawn as the view draws it, in slices: the whole time, and the longest
// slice, which is how long the window stays blocked at most.
void benchCrafted(const char* name, const std::string& bytes) {
    const long before = residentKbAfterForgettingPeak();
    QElapsedTimer clock;
    clock.start();
    double longest = 0;
    JpegDrawing drawing(bytes, 320, 240);
    for (bool done = false; !done;) {
        QElapsedTimer slice;
        slice.start();
        done = drawing.step(PictureView::kDrawingSlice);
        longest = std::max(longest, static_cast<double>(slice.nsecsElapsed()) / 1e6);
    }
    const JpegDecodeResult result = drawing.result();
    const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    const long growth = std::max(0L, peakResidentKb() - before);
    std::printf("  %-52s %7.1f ms, longest slice %6.1f ms, peak +%6.1f MB  ", name, ms, longest,
                static_cast<double>(growth) / 1024.0);
    if (result.errorCode)
        std::printf("JPEG-Fehler #%d", *result.errorCode);
    else
        std::printf("picture %d x %d", result.image.width(), result.image.height());
    std::printf(", %d scans read%s\n", result.scansRead, result.inputCut ? ", input cut" : "");
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    benchShowing(640, 480);
    benchShowing(2592, 1944);

    // The largest pictures cameras take, and files of any content up to the
    // size limit, drawn into the picture view's box: each must stay under a
    // quarter of a second.
    std::printf("\ndrawing into a 320 x 240 box (%.0f megapixels at most, %zu MB memory cap,"
                " %d scans, %lld scan blocks)\n",
                static_cast<double>(kJpegMaxPixels) / 1e6,
                static_cast<size_t>(kJpegMemoryLimit >> 20), kJpegMaxScans, kJpegMaxScanBlocks);
    benchCrafted("camera 8688 x 5792 (50 MP), baseline", cameraPicture(8688, 5792));
    benchCrafted("camera 8688 x 5792 (50 MP), progressive", cameraPicture(8688, 5792, true));
    const int side = static_cast<int>(std::sqrt(static_cast<double>(kJpegMaxPixels)));
    const std::string at = std::to_string(side) + " x " + std::to_string(side);
    for (const auto& [name, bytes] : std::vector<std::pair<std::string, std::string>>{
             {"65500 x 65500 grey baseline", crafted(65500, 65500, false, 1)},
             {"65500 x 65500 RGB baseline", crafted(65500, 65500, false, 1, true)},
             {"65500 x 65500 grey progressive, 5000 scans", crafted(65500, 65500, true, 5000)},
             {at + " grey baseline", crafted(side, side, false, 1)},
             {at + " RGB baseline", crafted(side, side, false, 1, true)},
             {at + " grey progressive, 5000 scans", crafted(side, side, true, 5000)},
             {"640 x 480 grey progressive, 100000 scans", crafted(640, 480, true, 100000)},
         })
        benchCrafted((name + " (" + std::to_string(bytes.size()) + " B)").c_str(), bytes);
    return 0;
}
