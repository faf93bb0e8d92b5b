#include "tools/board-sim/picture_stream.h"

#include "capture/hex_capture.h"

#include <random>

namespace {

bool Spoils(int count, int number) {
    return count == FaultPlan::kEveryPicture || number <= count;
}

} // namespace

const char* const kBoardChatter = "\r\nRING\r\nMerlon EVA Kamera bereit\r\nBelichtung 1/60 s\r\n";

StreamFaults FaultsForPicture(const FaultPlan& plan, int number) {
    StreamFaults faults;
    faults.chatter = Spoils(plan.chatter, number);
    faults.cutBeforeEnd = Spoils(plan.cutBeforeEnd, number);
    faults.nul = Spoils(plan.nul, number);
    faults.noise = Spoils(plan.noise, number);
    faults.lowercase = Spoils(plan.lowercase, number);
    faults.hangUpMidPicture = Spoils(plan.hangUpMidPicture, number);
    return faults;
}

PictureStream BuildPictureStream(std::string_view jpeg, const StreamFaults& faults, unsigned seed) {
    std::string hex =
        EncodeHexPairs(jpeg, faults.lowercase ? HexDigitCase::Lower : HexDigitCase::Upper);
    if (faults.nul && !hex.empty()) {
        // Between two pairs, where it costs no picture byte: what it tests
        // is the receiver's handling of a NUL in the text, not the decoder.
        hex.insert(jpeg.size() / 2 * 3, 1, '\0');
    }
    if (faults.noise && !hex.empty()) {
        std::mt19937 random(seed);
        std::uniform_int_distribution<int> value(1, 255);
        for (int i = 0; i < 3; ++i) {
            std::uniform_int_distribution<std::size_t> where(0, hex.size());
            hex.insert(where(random), 1, static_cast<char>(value(random)));
        }
    }

    PictureStream stream;
    if (faults.chatter)
        stream.text += kBoardChatter;
    stream.text += "CAM_B\r\n";
    stream.text += hex;
    if (!faults.cutBeforeEnd)
        stream.text += "CAM_E\r\n";
    if (faults.hangUpMidPicture) {
        stream.text.resize(stream.text.size() / 2);
        stream.hangUpAfter = true;
    }
    return stream;
}
