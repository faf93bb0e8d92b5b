// How fast DecodeHexCapture turns a 30 MB picture stream into bytes, next to
// xxd -r -p reverting the same pairs.
#include "bench_stream.h"
#include "capture/hex_capture.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

using Seconds = std::chrono::duration<double>;

template <typename Work> double BestOf(int runs, Work work) {
    double best = 1e30;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        work();
        const double took = Seconds(std::chrono::steady_clock::now() - start).count();
        if (took < best)
            best = took;
    }
    return best;
}

double DecoderSeconds(const std::string& stream, std::size_t expectedBytes) {
    std::size_t decoded = 0;
    const double best = BestOf(7, [&] {
        const DecodedCapture result = DecodeHexCapture(stream);
        decoded = result.bytes.size() + (result.endSeen ? 0 : 1);
    });
    if (decoded != expectedBytes) {
        std::fprintf(stderr, "decoder gave %zu bytes, expected %zu\n", decoded, expectedBytes);
        std::exit(1);
    }
    return best;
}

} // namespace

int main() {
    constexpr std::size_t kPairs = 10'000'000; // 30 MB of "XX "
    const double megabytes = kPairs * 3 / 1e6;

    const std::string pairs = RandomHexPairs(kPairs, 0);
    const std::string stream = "AT\r\r\nOK\r\nCAM_B\r\n" + pairs + "CAM_E\r\n";
    const double decoder = DecoderSeconds(stream, kPairs);
    std::printf("DecodeHexCapture, %.0f MB stream:        %8.1f ms  %8.0f MB/s\n", megabytes,
                decoder * 1e3, megabytes / decoder);

    const std::string wrapped = "CAM_B\r\n" + RandomHexPairs(kPairs, 32) + "CAM_E\r\n";
    const double wrappedDecoder = DecoderSeconds(wrapped, kPairs);
    std::printf("DecodeHexCapture, CR LF every 32 pairs: %8.1f ms  %8.0f MB/s\n",
                wrappedDecoder * 1e3, wrapped.size() / 1e6 / wrappedDecoder);

    char input[] = "/tmp/bench_decoder_XXXXXX";
    const int fd = ::mkstemp(input);
    if (fd < 0) {
        std::perror("mkstemp");
        return 1;
    }
    ::close(fd);
    {
        std::ofstream file(input, std::ios::binary);
        file.write(pairs.data(), static_cast<std::streamsize>(pairs.size()));
    }
    const std::string command = std::string("xxd -r -p ") + input + " > /dev/null";
    bool xxdFailed = false;
    const double xxd = BestOf(3, [&] { xxdFailed |= std::system(command.c_str()) != 0; });
    ::unlink(input);
    if (xxdFailed) {
        std::printf("xxd -r -p: not available\n");
        return 0;
    }
    std::printf("xxd -r -p, same pairs from a file:      %8.1f ms  %8.0f MB/s\n", xxd * 1e3,
                megabytes / xxd);
    std::printf("DecodeHexCapture / xxd:                 %8.1fx\n", xxd / decoder);
    return 0;
}
