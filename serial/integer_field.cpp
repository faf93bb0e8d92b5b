#include "serial/integer_field.h"

#include "platform/user_error.h"

#include <limits>

namespace {

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::int32_t ParseIntegerField(const std::string& textUtf8) {
    const auto invalid = [&textUtf8] {
        return UserError::withDetail("'%s' ist kein gültiger Integerwert", textUtf8);
    };
    const std::size_t size = textUtf8.size();
    std::size_t at = 0;
    // Only the space is skipped; a tab is an error like any other character.
    while (at < size && textUtf8[at] == ' ')
        ++at;
    if (at == size)
        throw invalid();

    std::size_t digitsAt = at;
    const char first = textUtf8[at];
    if (first == '$' || first == 'x' || first == 'X')
        digitsAt = at + 1;
    else if (first == '0' && at + 1 < size && (textUtf8[at + 1] == 'x' || textUtf8[at + 1] == 'X'))
        digitsAt = at + 2;

    if (digitsAt != at) {
        if (digitsAt == size)
            throw invalid();
        std::uint64_t value = 0;
        for (std::size_t i = digitsAt; i < size; ++i) {
            const int digit = HexDigitValue(textUtf8[i]);
            if (digit < 0)
                throw invalid();
            value = value * 16 + static_cast<std::uint64_t>(digit);
            if (value > std::numeric_limits<std::uint32_t>::max())
                throw invalid();
        }
        // All 32 bits count: eight F digits are -1.
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
    }

    const bool negative = first == '-';
    if (first == '+' || first == '-')
        ++at;
    if (at == size)
        throw invalid();
    const std::int64_t limit =
        negative ? -static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::min())
                 : std::numeric_limits<std::int32_t>::max();
    std::int64_t value = 0;
    for (std::size_t i = at; i < size; ++i) {
        const char c = textUtf8[i];
        if (c < '0' || c > '9')
            throw invalid();
        value = value * 10 + (c - '0');
        if (value > limit)
            throw invalid();
    }
    return static_cast<std::int32_t>(negative ? -value : value);
}
