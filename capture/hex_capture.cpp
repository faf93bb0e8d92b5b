#include "capture/hex_capture.h"

#include <algorithm>
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

// The decoded bytes, written through a raw pointer into a string sized ahead;
// how many are in is given back to the caller's count when the sink goes.
class ByteSink {
public:
    ByteSink(std::string& bytes, std::size_t& written) : bytes_(bytes), written_(written) {
        next_ = bytes_.data() + written_;
        end_ = bytes_.data() + bytes_.size();
    }
    ByteSink(const ByteSink&) = delete;
    ByteSink& operator=(const ByteSink&) = delete;
    ~ByteSink() { written_ = static_cast<std::size_t>(next_ - bytes_.data()); }

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

    std::string& bytes_;
    std::size_t& written_;
    char* next_ = nullptr;
    char* end_ = nullptr;
};

constexpr std::string_view kStartMarker = "CAM_B";
// How far a step looks ahead of its position: a block of triplets; the first
// step after the start marker: the skip and an end marker.
constexpr std::size_t kStepReach = kBlockReach;
constexpr std::size_t kFirstStepReach = kStartSkip + 5;
// What of a part is joined to the carry before the scan goes on in the part
// itself: more than a step's reach, so that the scan leaves the carry.
constexpr std::size_t kSeamJoin = 64;
static_assert(kSeamJoin > kStepReach && kSeamJoin > kFirstStepReach);

} // namespace

// One pass from the start marker on. Where a position i holds a clean
// triplet (a space at i+2, none at i+3 and i+4), positions i+1 and i+2 can
// neither start a marker nor form a pair, so the scan takes the pair and
// moves on by three; a block of sixteen such triplets is checked at once.
// Everywhere else it steps one position at a time, exactly as the stream
// rules say.
//
// The scan covers text[from, length), which begins at offset in the whole
// text. Unless this is the last of the text, a step runs only where all it
// may look at is there, so that it decides as it would on the whole text;
// the scan stops short of the rest and returns where it stopped.
std::size_t HexCaptureDecoder::scan(const char* const at, const std::size_t length, std::size_t i,
                                    const std::size_t offset, const bool last) {
    if (phase_ == Phase::Ended)
        return length;
    if (phase_ == Phase::SeekingStart) {
        const std::size_t start = std::string_view(at, length).find(kStartMarker, i);
        if (start == std::string_view::npos) // a marker's beginning may end the part
            return std::max(i, length - std::min(length, kStartMarker.size() - 1));
        result_.startSeen = true;
        const std::size_t startInText = offset + start;
        result_.bytes.resize((std::max(expectedLength_, startInText) - startInText) / 3 + 1);
        phase_ = Phase::AtStart;
        i = start;
    }

    auto markerAt = [&](std::size_t j, char lastLetter) {
        return j < length && length - j >= 5 && std::memcmp(at + j, "CAM_", 4) == 0 &&
               at[j + 4] == lastLetter;
    };
    auto spaceAt = [&](std::size_t j) { return j < length && at[j] == kSpace; };

    ByteSink sink(result_.bytes, written_);
    // Runs what one step does at j after any skip: the end test, then the
    // pair test. True when the end marker stops the scan.
    auto finishStep = [&](std::size_t j) {
        if (markerAt(j, 'E'))
            return true;
        if (spaceAt(j + 2))
            sink.put(PairByte(at + j));
        return false;
    };
    auto endAt = [&](std::size_t j) {
        phase_ = Phase::Ended;
        result_.endSeen = true;
        result_.endPosition = offset + j + 5;
        return length;
    };

    if (phase_ == Phase::AtStart) {
        if (!last && length - i < kFirstStepReach)
            return i;
        i += kStartSkip;
        if (finishStep(i))
            return endAt(i);
        ++i;
        phase_ = Phase::Pairs;
    }

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
        } else if (!last) {
            return i;
        } else if (spaceAt(i + 2) && !spaceAt(i + 3) && !spaceAt(i + 4)) {
            sink.put(PairByte(at + i));
            i += 3;
            continue;
        }

        if (markerAt(i, 'B'))
            i += kStartSkip;
        if (finishStep(i))
            return endAt(i);
        ++i;
    }
    return i;
}

void HexCaptureDecoder::feed(std::string_view part) {
    if (phase_ == Phase::Ended || part.empty())
        return;
    std::size_t from = 0;
    if (!carry_.empty()) {
        // The seam: the carry with the part's head, until the scan has left
        // the carry; it has once it stops for want of text with more than
        // kSeamJoin - kStepReach characters of the head behind it.
        const std::size_t carried = carry_.size();
        const std::size_t head = std::min(part.size(), kSeamJoin);
        carry_.append(part.data(), head);
        const std::size_t stop = scan(carry_.data(), carry_.size(), 0, fed_ - carried, false);
        if (head == part.size()) {
            carry_.erase(0, std::min(stop, carry_.size()));
            fed_ += part.size();
            return;
        }
        carry_.clear();
        if (phase_ == Phase::Ended)
            return;
        from = stop - carried;
    }
    const std::size_t stop = scan(part.data(), part.size(), from, fed_, false);
    if (phase_ != Phase::Ended)
        carry_.assign(part.data() + stop, part.size() - stop);
    fed_ += part.size();
}

DecodedCapture HexCaptureDecoder::finish() {
    scan(carry_.data(), carry_.size(), 0, fed_ - carry_.size(), true);
    carry_.clear();
    result_.bytes.resize(written_);
    return std::move(result_);
}

DecodedCapture DecodeHexCapture(std::string_view text) {
    HexCaptureDecoder decoder(text.size());
    decoder.scan(text.data(), text.size(), 0, 0, true);
    decoder.result_.bytes.resize(decoder.written_);
    return std::move(decoder.result_);
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
