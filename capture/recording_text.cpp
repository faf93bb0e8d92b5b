#include "capture/recording_text.h"

#include <cstring>

namespace {

constexpr char kCr = '\r';
constexpr char kLf = '\n';

std::string BaseName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

std::size_t CountLoneLineBreaks(std::string_view text) {
    // Every CR and every LF is a break of its own except the two halves of a
    // CR LF pair; pairs never overlap. memchr takes lines of ordinary length
    // many bytes at a time.
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    std::size_t breaks = 0;
    std::size_t pairs = 0;
    for (const char* at = begin;
         (at = static_cast<const char*>(std::memchr(at, kLf, static_cast<std::size_t>(end - at))));
         ++at) {
        ++breaks;
        pairs += at > begin && at[-1] == kCr;
    }
    for (const char* at = begin;
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
