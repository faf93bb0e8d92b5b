// The settings fields' integer syntax, checked against a plain reading of it:
// spaces first, then a decimal number with an optional sign, or hexadecimal
// after "$", "x" or "0x" taking all 32 bits; anything else refused.
#include "platform/user_error.h"
#include "serial/integer_field.h"

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

namespace {

std::optional<std::int32_t> PlainParse(const std::string& text) {
    std::size_t at = text.find_first_not_of(' ');
    if (at == std::string::npos)
        return std::nullopt;
    const std::string rest = text.substr(at);
    std::string digits;
    int base = 10;
    for (const char* prefix : {"0x", "0X", "$", "x", "X"}) {
        if (rest.rfind(prefix, 0) == 0) {
            digits = rest.substr(std::string(prefix).size());
            base = 16;
            break;
        }
    }
    bool negative = false;
    if (base == 10) {
        digits = rest;
        if (digits[0] == '+' || digits[0] == '-') {
            negative = digits[0] == '-';
            digits.erase(0, 1);
        }
    }
    if (digits.empty())
        return std::nullopt;
    const std::string allowed = base == 16 ? "0123456789abcdefABCDEF" : "0123456789";
    if (digits.find_first_not_of(allowed) != std::string::npos)
        return std::nullopt;
    // Leading zeros never change the value.
    const std::size_t first = digits.find_first_not_of('0');
    if (first == std::string::npos)
        return 0;
    if (digits.size() - first > (base == 16 ? 8 : 10))
        return std::nullopt;
    const long long value = std::stoll(digits.substr(first), nullptr, base);
    if (base == 16)
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
    const long long signedValue = negative ? -value : value;
    if (signedValue < INT32_MIN || signedValue > INT32_MAX)
        return std::nullopt;
    return static_cast<std::int32_t>(signedValue);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::optional<std::int32_t> parsed;
    try {
        parsed = ParseIntegerField(text);
    } catch (const UserError&) {
    }
    if (parsed != PlainParse(text))
        std::abort();
    return 0;
}
