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

void NormaliseRecordingText(std::string& text) {
    if (const void* nul = std::memchr(text.data(), '\0', text.size()))
        text.resize(static_cast<std::size_t>(static_cast<const char*>(nul) - text.data()));

    // Each lone CR or LF grows by one character; CR LF pairs stay as they are.
    const std::size_t length = text.size();
    const char* const at = text.data();
    std::size_t loneBreaks = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (at[i] == kCr) {
            if (i + 1 < length && at[i + 1] == kLf)
                ++i;
            else
                ++loneBreaks;
        } else if (at[i] == kLf) {
            ++loneBreaks;
        }
    }
    if (loneBreaks == 0)
        return;

    // Widen from the back, so that every character moves once and no second
    // buffer is needed beyond what the longer text takes.
    text.resize(length + loneBreaks);
    char* const out = text.data();
    std::size_t read = length;
    std::size_t write = text.size();
    while (read > 0 && write > read) {
        const char c = out[--read];
        if (c == kLf || c == kCr) {
            if (c == kLf && read > 0 && out[read - 1] == kCr)
                --read;
            out[--write] = kLf;
            out[--write] = kCr;
        } else {
            out[--write] = c;
        }
    }
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
