#include "capture/hex_capture.h"

#include <array>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr char kSpace = ' ';
constexpr std::size_t kStartSkip = kCaptureStartSkip;

constexpr int HexDigitValue(unsigned char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return 0;
}

struct PairTables {
    std::array<std::uint8_t, 256> high{};
    std::array<std::uint8_t, 256> low{};
};

constexpr PairTables MakePairTables() {
    PairTables tables;
    for (int c = 0; c < 256; ++c) {
        tables.high[c] =
            static_cast<std::uint8_t>(HexDigitValue(static_cast<unsigned char>(c)) << 4);
        tables.low[c] = static_cast<std::uint8_t>(HexDigitValue(static_cast<unsigned char>(c)));
    }
    return tables;
}

constexpr PairTables kPairTables = MakePairTables();

inline char PairByte(const char* at) {
    return static_cast<char>(kPairTables.high[static_cast<unsigned char>(at[0])] |
                             kPairTables.low[static_cast<unsigned char>(at[1])]);
}

// A block is 16 triplets "XX " plus the two characters after them: those two
// must not be spaces either, or the last pair's neighbours could form pairs.
constexpr std::size_t kBlockTriplets = 16;
constexpr std::size_t kBlockChars = 3 * kBlockTriplets;
constexpr std::size_t kBlockReach = kBlockChars + 2;

constexpr std::uint64_t MakeCleanSpaceMask() {
    std::uint64_t mask = 0;
    for (std::size_t k = 0; k < kBlockTriplets; ++k)
        mask |= std::uint64_t{1} << (3 * k + 2);
    return mask;
}

constexpr std::uint64_t kCleanSpaceMask = MakeCleanSpaceMask();

// Bit j set when at[j] is a space, for j < kBlockReach.
inline std::uint64_t SpaceMask(const char* at) {
#if defined(__SSE2__)
    const __m128i spaces = _mm_set1_epi8(kSpace);
    auto bits = [&](const char* p) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        return static_cast<std::uint64_t>(
            static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, spaces))));
    };
    std::uint64_t mask = bits(at) | bits(at + 16) << 16 | bits(at + 32) << 32;
#else
    std::uint64_t mask = 0;
    for (std::size_t j = 0; j < kBlockChars; ++j)
        mask |= std::uint64_t{at[j] == kSpace} << j;
#endif
    mask |= std::uint64_t{at[kBlockChars] == kSpace} << kBlockChars;
    mask |= std::uint64_t{at[kBlockChars + 1] == kSpace} << (kBlockChars + 1);
    return mask;
}

// How many leading triplets of the block are clean, given its space mask.
// Triplet k is clean when bit 3k+2 is set and bits 3k+3, 3k+4 are clear.
inline std::size_t CleanTriplets(std::uint64_t spaceMask) {
    const std::uint64_t mismatch = spaceMask ^ kCleanSpaceMask;
    if (mismatch == 0)
        return kBlockTriplets;
    const auto firstMismatch = static_cast<std::size_t>(__builtin_ctzll(mismatch));
    return firstMismatch >= 2 ? (firstMismatch - 2) / 3 : 0;
}

// The decoded bytes, written through a raw pointer into a string sized ahead.
class ByteSink {
public:
    explicit ByteSink(std::size_t expected) {
        bytes_.resize(expected);
        next_ = bytes_.data();
        end_ = next_ + bytes_.size();
    }

    // Room for at least count more bytes.
    char* reserve(std::size_t count) {
        if (static_cast<std::size_t>(end_ - next_) < count)
            grow(count);
        return next_;
    }
    void advance(std::size_t count) { next_ += count; }
    void put(char byte) {
        *reserve(1) = byte;
        ++next_;
    }

    std::string finish() {
        bytes_.resize(static_cast<std::size_t>(next_ - bytes_.data()));
        return std::move(bytes_);
    }

private:
    // Only texts with runs of spaces yield more than one byte per three
    // characters; they pay for the growth.
    void grow(std::size_t count) {
        const std::size_t used = static_cast<std::size_t>(next_ - bytes_.data());
        std::size_t size = bytes_.size() * 2;
        if (size < used + count)
            size = used + count;
        bytes_.resize(size);
        next_ = bytes_.data() + used;
        end_ = bytes_.data() + bytes_.size();
    }

    std::string bytes_;
    char* next_ = nullptr;
    char* end_ = nullptr;
};

} // namespace

// One pass from the start marker on. Where a position i holds a clean
// triplet (a space at i+2, none at i+3 and i+4), positions i+1 and i+2 can
// neither start a marker nor form a pair, so the scan takes the pair and
// moves on by three; a block of sixteen such triplets is checked at once.
// Everywhere else it steps one position at a time, exactly as the stream
// rules say.
DecodedCapture DecodeHexCapture(std::string_view text) {
    DecodedCapture result;
    const char* const at = text.data();
    const std::size_t length = text.size();

    const std::size_t start = text.find("CAM_B");
    if (start == std::string_view::npos)
        return result;
    result.startSeen = true;

    auto markerAt = [&](std::size_t i, char last) {
        return i < length && length - i >= 5 && std::memcmp(at + i, "CAM_", 4) == 0 &&
               at[i + 4] == last;
    };
    auto spaceAt = [&](std::size_t i) { return i < length && at[i] == kSpace; };

    ByteSink sink((length - start) / 3 + 1);
    // Runs what one step does at i after any skip: the end test, then the
    // pair test. True when the end marker stops the scan.
    auto finishStep = [&](std::size_t i) {
        if (markerAt(i, 'E'))
            return true;
        if (spaceAt(i + 2))
            sink.put(PairByte(at + i));
        return false;
    };

    std::size_t i = start + kStartSkip;
    if (finishStep(i)) {
        result.endSeen = true;
        result.endPosition = i + 5;
        result.bytes = sink.finish();
        return result;
    }
    ++i;

    while (i + 1 < length) {
        if (length - i >= kBlockReach) {
            const std::size_t clean = CleanTriplets(SpaceMask(at + i));
            if (clean > 0) {
                char* out = sink.reserve(clean);
                for (std::size_t k = 0; k < clean; ++k)
                    out[k] = PairByte(at + i + 3 * k);
                sink.advance(clean);
                i += 3 * clean;
                continue;
            }
        } else if (spaceAt(i + 2) && !spaceAt(i + 3) && !spaceAt(i + 4)) {
            sink.put(PairByte(at + i));
            i += 3;
            continue;
        }

        if (markerAt(i, 'B'))
            i += kStartSkip;
        if (finishStep(i)) {
            result.endSeen = true;
            result.endPosition = i + 5;
            break;
        }
        ++i;
    }
    result.bytes = sink.finish();
    return result;
}

std::string EncodeHexPairs(std::string_view bytes, HexDigitCase digitCase, std::size_t pairsPerLine,
                           std::string_view lineBreak) {
    const char* digits = digitCase == HexDigitCase::Upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 3 +
                 (pairsPerLine > 0 ? bytes.size() / pairsPerLine * lineBreak.size() : 0));
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        text += digits[byte >> 4];
        text += digits[byte & 0x0F];
        text += ' ';
        if (pairsPerLine > 0 && (i + 1) % pairsPerLine == 0 && i + 1 < bytes.size())
            text += lineBreak;
    }
    return text;
}
