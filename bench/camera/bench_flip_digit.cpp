// How often a changed hex digit goes unnoticed: the simulated board's own
// --flip-digit fault (one digit of the entropy-coded data changed, at a
// place picked from the picture's number, so the decoded byte always
// differs) over many of its pictures, small and large, each judged as the
// capture session judges it. A changed digit keeps the pairs as the board
// sends them, so only libjpeg's warnings can tell; where the changed byte
// still decodes without one, the picture is "in Ordnung" though it differs.
// Prints the shares; run by hand:
//   bench_flip_digit [PICTURES]
#include "camera/picture_verdict.h"
#include "capture/hex_capture.h"
#include "tools/board-sim/picture_scene.h"
#include "tools/board-sim/picture_stream.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    const int pictures = argc > 1 ? std::atoi(argv[1]) : 1000;
    if (pictures <= 0) {
        std::fprintf(stderr, "Aufruf: bench_flip_digit [BILDER]\n");
        return 2;
    }
    StreamFaults flip;
    flip.flipDigit = true;
    for (const bool large : {false, true}) {
        std::array<int, 3> verdicts{}; // sound, damaged, unreadable
        int differing = 0;
        for (int number = 1; number <= pictures; ++number) {
            char time[16];
            std::snprintf(time, sizeof time, "%02d:%02d:%02d", number / 3600 % 24, number / 60 % 60,
                          number % 60);
            const SceneRequest request{BoardOptions{number % 2 == 0, number % 3 == 0, large},
                                       number, time};
            const std::string jpeg = TakePicture(request, 75);
            // Seeded with the picture's number, as the simulator does.
            const PictureStream stream =
                BuildPictureStream(jpeg, flip, static_cast<unsigned>(number));
            const DecodedCapture decoded = DecodeHexCapture(stream.text);
            if (decoded.bytes != jpeg)
                ++differing;
            const PictureVerdict verdict = JudgePicture(
                std::string_view(stream.text).substr(0, decoded.endPosition), decoded.bytes);
            ++verdicts[static_cast<std::size_t>(verdict)];
        }
        std::printf("%s pictures with one digit changed: %d (bytes differ from the board's: %d)\n",
                    large ? "640 x 480" : "320 x 240", pictures, differing);
        std::printf("  judged beschädigt: %d (%.1f %%), unlesbar: %d (%.1f %%), "
                    "in Ordnung, the change unnoticed: %d (%.1f %%)\n",
                    verdicts[1], 100.0 * verdicts[1] / pictures, verdicts[2],
                    100.0 * verdicts[2] / pictures, verdicts[0], 100.0 * verdicts[0] / pictures);
    }
    return 0;
}
