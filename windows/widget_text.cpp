#include "windows/widget_text.h"

#include <array>
#include <cstring>
#include <unordered_map>

namespace {

// 0x80..0x9F; the rest of the byte range is the same code point in Unicode.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

} // namespace

std::string_view UntilFirstNul(std::string_view bytes) {
    const void* nul = std::memchr(bytes.data(), 0, bytes.size());
    if (!nul)
        return bytes;
    return bytes.substr(0, static_cast<const char*>(nul) - bytes.data());
}

QChar Windows1252Char(unsigned char byte) {
    if (byte >= 0x80 && byte <= 0x9F)
        return QChar(kHighControls[byte - 0x80]);
    return QChar(static_cast<char16_t>(byte));
}

QString ToWidgetText(std::string_view bytes) {
    const std::string_view kept = UntilFirstNul(bytes);
    QString text(static_cast<qsizetype>(kept.size()), Qt::Uninitialized);
    QChar* out = text.data();
    for (unsigned char byte : kept)
        *out++ = Windows1252Char(byte);
    return text;
}

std::string FromWidgetText(const QString& text) {
    static const std::unordered_map<char16_t, char> highBytes = [] {
        std::unordered_map<char16_t, char> map;
        for (int i = 0; i < 32; ++i)
            map.emplace(kHighControls[i], static_cast<char>(0x80 + i));
        return map;
    }();
    std::string bytes;
    bytes.reserve(static_cast<size_t>(text.size()));
    for (QChar ch : text) {
        const char16_t code = ch.unicode();
        if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) {
            bytes.push_back(static_cast<char>(code));
            continue;
        }
        const auto high = highBytes.find(code);
        bytes.push_back(high != highBytes.end() ? high->second : '?');
    }
    return bytes;
}
