#include "tools/board-sim/picture_stream.h"

#include "capture/hex_capture.h"

#include <cstdint>
#include <random>

namespace {

struct ByteRange {
    std::size_t first = 0;
    std::size_t end = 0; // one past the last
};

unsigned char At(std::string_view bytes, std::size_t i) {
    return static_cast<unsigned char>(bytes[i]);
}

// The entropy-coded data: from the end of the first scan header to the
// end-of-image marker at the end of the file. For bytes that are no JPEG
// file, every byte but the last, so the last pair stays whole either way.
ByteRange ScanData(std::string_view jpeg) {
    const std::size_t size = jpeg.size();
    const bool endMarker = size >= 4 && At(jpeg, size - 2) == 0xFF && At(jpeg, size - 1) == 0xD9;
    if (size >= 4 && At(jpeg, 0) == 0xFF && At(jpeg, 1) == 0xD8 && endMarker) {
        std::size_t i = 2;
        while (i + 4 <= size && At(jpeg, i) == 0xFF) {
            const unsigned char marker = At(jpeg, i + 1);
            if (marker == 0xFF) { // fill byte before a marker
                ++i;
                continue;
            }
            if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) { // no length
                i += 2;
                continue;
            }
            const std::size_t length = (std::size_t{At(jpeg, i + 2)} << 8) | At(jpeg, i + 3);
            if (marker == 0xDA) {
                const std::size_t first = i + 2 + length;
                if (first < size - 2)
                    return ByteRange{first, size - 2};
                break;
            }
            i += 2 + length;
        }
    }
    return ByteRange{0, size == 0 ? 0 : size - 1};
}

int DigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return c - 'A' + 10;
}

char Digit(int value, HexDigitCase digitCase) {
    const char* const digits =
        digitCase == HexDigitCase::Lower ? "0123456789abcdef" : "0123456789ABCDEF";
    return digits[value];
}

} // namespace

const char* const kBoardChatter = "\r\nRING\r\nMerlon EVA Kamera bereit\r\nBelichtung 1/60 s\r\n";

PictureStream BuildPictureStream(std::string_view jpeg, const StreamFaults& faults, unsigned seed) {
    const HexDigitCase digitCase = faults.lowercase ? HexDigitCase::Lower : HexDigitCase::Upper;
    std::string hex = EncodeHexPairs(jpeg, digitCase);

    // A generator of their own, so that the noise of a seed stays what it was.
    std::seed_seq digitSeed{seed, 1u};
    std::mt19937 digitRandom(digitSeed);
    const ByteRange scan = ScanData(jpeg);
    const std::size_t scanBytes = scan.end > scan.first ? scan.end - scan.first : 0;
    std::size_t flipped = scanBytes; // offset in the scan data, none yet
    if (faults.flipDigit && scanBytes > 0) {
        flipped = digitRandom() % scanBytes;
        char& digit = hex[3 * (scan.first + flipped) + digitRandom() % 2];
        // Another of the fifteen other digits, in the case the board uses.
        digit =
            Digit((DigitValue(digit) + 1 + static_cast<int>(digitRandom() % 15)) % 16, digitCase);
    }
    std::size_t dropAt = std::string::npos;
    if (faults.dropDigit) {
        // The digit left pairs up with the blank before it, which reads as
        // a high digit 0: "00" would decode as before, and so would "0B"
        // without its "0". Such pairs and digits are passed over, so that
        // the loss shows in the bytes too; so is the pair a flip changed,
        // so that each fault stays one digit.
        const std::size_t start = scanBytes > 0 ? digitRandom() % scanBytes : 0;
        const bool takeHigh = digitRandom() % 2 == 0;
        for (std::size_t k = 0; k < scanBytes; ++k) {
            const std::size_t pair = (start + k) % scanBytes;
            const unsigned char byte = At(jpeg, scan.first + pair);
            if (pair == flipped || byte == 0)
                continue;
            dropAt = 3 * (scan.first + pair) + (takeHigh && byte >= 0x10 ? 0 : 1);
            hex.erase(dropAt, 1);
            break;
        }
    }
    if (faults.nul && !hex.empty()) {
        // Between two pairs, where it costs no picture byte: what it tests
        // is the receiver's handling of a NUL in the text, not the decoder.
        std::size_t at = jpeg.size() / 2 * 3;
        if (dropAt < at)
            --at;
        hex.insert(at, 1, '\0');
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
