#include "camera/received_text.h"

#include <algorithm>
#include <cstring>

std::string_view UntilFirstNul(std::string_view bytes) {
    const void* nul = std::memchr(bytes.data(), 0, bytes.size());
    if (!nul)
        return bytes;
    return bytes.substr(0, static_cast<std::size_t>(static_cast<const char*>(nul) - bytes.data()));
}

std::size_t AppendFromLine(std::string& text, std::string_view chunk) {
    const std::size_t before = text.size();
    // The runs between NULs go in whole: a chunk without any costs one append.
    while (!chunk.empty()) {
        const std::string_view run = UntilFirstNul(chunk);
        text.append(run);
        chunk.remove_prefix(std::min(run.size() + 1, chunk.size()));
    }
    return text.size() - before;
}
