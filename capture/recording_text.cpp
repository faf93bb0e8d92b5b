#include "capture/recording_text.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr char kCr = '\r';
constexpr char kLf = '\n';

std::string BaseName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

#if defined(__SSE2__)
// The CRs and LFs of the text's first 16 * (length / 16) characters, and the
// CR LF pairs among them, counted sixteen at a time; a pair across two blocks
// is found by the CR shifted in from the block before. Returns how far it
// got.
std::size_t CountBreaksAndPairs(const char* const text, const std::size_t length,
                                std::size_t& breaks, std::size_t& pairs) {
    const __m128i crs = _mm_set1_epi8(kCr);
    const __m128i lfs = _mm_set1_epi8(kLf);
    __m128i crBefore = _mm_setzero_si128();
    std::size_t i = 0;
    while (length - i >= 16) {
        // Each byte of a counter goes up by at most two a block: empty them
        // into the totals before they could overflow.
        const std::size_t blocks = std::min<std::size_t>((length - i) / 16, 127);
        __m128i breakCounts = _mm_setzero_si128();
        __m128i pairCounts = _mm_setzero_si128();
        for (std::size_t b = 0; b < blocks; ++b, i += 16) {
            const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
            const __m128i cr = _mm_cmpeq_epi8(chunk, crs);
            const __m128i lf = _mm_cmpeq_epi8(chunk, lfs);
            const __m128i crLeft =
                _mm_or_si128(_mm_slli_si128(cr, 1), _mm_srli_si128(crBefore, 15));
            breakCounts = _mm_sub_epi8(_mm_sub_epi8(breakCounts, cr), lf);
            pairCounts = _mm_sub_epi8(pairCounts, _mm_and_si128(lf, crLeft));
            crBefore = cr;
        }
        auto total = [](__m128i counts) {
            const __m128i sums = _mm_sad_epu8(counts, _mm_setzero_si128());
            return static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) +
                   static_cast<std::size_t>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
        };
        breaks += total(breakCounts);
        pairs += total(pairCounts);
    }
    return i;
}
#endif

} // namespace

std::size_t CountLoneLineBreaks(std::string_view text) {
    // Every CR and every LF is a break of its own except the two halves of a
    // CR LF pair; pairs never overlap.
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    std::size_t breaks = 0;
    std::size_t pairs = 0;
    const char* rest = begin;
#if defined(__SSE2__)
    rest += CountBreaksAndPairs(begin, text.size(), breaks, pairs);
#endif
    // memchr takes lines of ordinary length many bytes at a time.
    for (const char* at = rest;
         (at = static_cast<const char*>(std::memchr(at, kLf, static_cast<std::size_t>(end - at))));
         ++at) {
        ++breaks;
        pairs += at > begin && at[-1] == kCr;
    }
    for (const char* at = rest;
         (at = static_cast<const char*>(std::memchr(at, kCr, static_cast<std::size_t>(end - at))));
         ++at)
        ++breaks;
    return breaks - 2 * pairs;
}

void WidenLineBreaks(char* const text, const std::size_t length,
                     const std::size_t addedCharacters) {
    // From the back, so that every character moves once and no second buffer
    // is needed beyond what the longer text takes.
    std::size_t read = length;
    std::size_t write = length + addedCharacters;
    while (read > 0 && write > read) {
        const char c = text[--read];
        if (c == kLf || c == kCr) {
            if (c == kLf && read > 0 && text[read - 1] == kCr)
                --read;
            text[--write] = kLf;
            text[--write] = kCr;
        } else {
            text[--write] = c;
        }
    }
}

namespace {

// Copies the text to out with every line break one CR LF, front to back;
// returns the end of what it wrote. Stretches without breaks go sixteen
// characters at a time: out must have room for 16 characters beyond twice
// the text.
char* WidenInto(std::string_view text, char* out) {
    const char* at = text.data();
    const char* const end = at + text.size();
    auto widenBreakAt = [&] {
        const bool pair = *at == kCr && at + 1 < end && at[1] == kLf;
        *out++ = kCr;
        *out++ = kLf;
        at += pair ? 2 : 1;
    };
#if defined(__SSE2__)
    const __m128i crs = _mm_set1_epi8(kCr);
    const __m128i lfs = _mm_set1_epi8(kLf);
    while (end - at >= 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), chunk);
        const int breaks =
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(chunk, crs), _mm_cmpeq_epi8(chunk, lfs)));
        if (breaks == 0) {
            at += 16;
            out += 16;
            continue;
        }
        const int clean = __builtin_ctz(static_cast<unsigned>(breaks));
        at += clean;
        out += clean;
        widenBreakAt();
    }
#endif
    while (at < end) {
        if (*at == kCr || *at == kLf)
            widenBreakAt();
        else
            *out++ = *at++;
    }
    return out;
}

constexpr std::size_t kWidenSlack = 16;

} // namespace

std::string_view LineBreakWidener::widen(std::string_view part) {
    if (part.empty())
        return part;
    const bool crBefore = heldCr_;
    heldCr_ = part.back() == kCr;
    if (heldCr_)
        part.remove_suffix(1);
    const std::size_t given = part.size() + (crBefore ? 1 : 0);
    // A text whose breaks needed widening goes on needing it: the count that
    // spares the copy is spent only where the last part came out unchanged.
    if (!crBefore && !lastWidened_ && CountLoneLineBreaks(part) == 0)
        return part;
    widened_.resize(2 * part.size() + 2 + kWidenSlack);
    char* out = widened_.data();
    if (crBefore) {
        *out++ = kCr;
        *out++ = kLf;
        if (!part.empty() && part.front() == kLf)
            part.remove_prefix(1);
    }
    const std::size_t length = static_cast<std::size_t>(WidenInto(part, out) - widened_.data());
    lastWidened_ = length != given;
    return {widened_.data(), length};
}

std::string_view LineBreakWidener::finish() {
    if (!heldCr_)
        return {};
    heldCr_ = false;
    widened_.assign({kCr, kLf});
    return widened_;
}

void NormaliseRecordingText(std::string& text) {
    if (const void* nul = std::memchr(text.data(), '\0', text.size()))
        text.resize(static_cast<std::size_t>(static_cast<const char*>(nul) - text.data()));
    const std::size_t added = CountLoneLineBreaks(text);
    if (added == 0)
        return;
    const std::size_t length = text.size();
    text.resize(length + added);
    WidenLineBreaks(text.data(), length, added);
}

std::string ReplaceExtensionWithJpg(const std::string& path) {
    const auto slash = path.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const auto dot = path.rfind('.');
    // A dot that opens the name marks a hidden file, not an extension.
    if (dot == std::string::npos || dot <= nameStart)
        return path + ".jpg";
    return path.substr(0, dot) + ".jpg";
}

std::string JpgNameInDirectory(const std::string& dir, const std::string& recordingPath) {
    const std::string name = ReplaceExtensionWithJpg(BaseName(recordingPath));
    if (dir.empty())
        return name;
    if (dir.back() == '/')
        return dir + name;
    return dir + "/" + name;
}
