// The received-text model under random appends, edits, caret moves and
// selections, checked after every step against a plain model: the text kept
// as a string, its lines and the selection worked out afresh each time.
#include "camera/received_text_model.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Reads the fuzzer's bytes as a script; past the end everything is zero.
class Script {
public:
    Script(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool done() const { return at_ >= size_; }
    std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::string_view bytes() {
        const std::size_t length = std::min<std::size_t>(byte(), size_ - std::min(at_, size_));
        const auto* start = reinterpret_cast<const char*>(data_ + at_);
        at_ += length;
        return {start, length};
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

void Require(bool condition) {
    if (!condition)
        std::abort();
}

std::string_view UpToNul(std::string_view bytes) {
    return bytes.substr(0, std::min(bytes.find('\0'), bytes.size()));
}

// Line starts as the line rules read: CR LF, lone CR and lone LF end a line.
std::vector<std::size_t> PlainLineStarts(const std::string& text) {
    std::vector<std::size_t> starts{0};
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        if (text[i] == '\r' || text[i] == '\n')
            starts.push_back(i + 1);
    }
    return starts;
}

bool InsidePair(const std::string& text, std::size_t position) {
    return position > 0 && position < text.size() && text[position - 1] == '\r' &&
           text[position] == '\n';
}

void CheckAgainst(const ReceivedTextModel& model, const std::string& text) {
    Require(model.text() == text);
    const std::vector<std::size_t> starts = PlainLineStarts(text);
    Require(model.lineCount() == starts.size());
    std::size_t longest = 0;
    for (std::size_t line = 0; line < starts.size(); ++line) {
        Require(model.lineStart(line) == starts[line]);
        std::size_t length = text.size() - starts[line];
        if (line + 1 < starts.size()) {
            const std::size_t next = starts[line + 1];
            const bool pair = next >= starts[line] + 2 && text.compare(next - 2, 2, "\r\n") == 0;
            length = next - starts[line] - (pair ? 2 : 1);
        }
        Require(model.lineLength(line) == length);
        longest = std::max(longest, length);
    }
    Require(model.longestLineLength() == longest);
    Require(model.caret() <= text.size() && model.anchor() <= text.size());
    Require(!InsidePair(text, model.caret()));
    Require(model.selectedBytes() ==
            std::string_view(text).substr(model.selectionStart(),
                                          model.selectionEnd() - model.selectionStart()));
    const std::size_t line = model.lineOf(model.caret());
    Require(starts[line] <= model.caret() &&
            (line + 1 == starts.size() || model.caret() < starts[line + 1]));
}

std::string WithoutSelection(const std::string& text, const ReceivedTextModel& model) {
    return text.substr(0, model.selectionStart()) + text.substr(model.selectionEnd());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Script script(data, size);
    ReceivedTextModel model;
    std::string text;
    for (int steps = 0; !script.done() && steps < 200; ++steps) {
        const std::uint8_t operation = script.byte();
        switch (operation % 10) {
        case 0: {
            const std::string_view chunk = script.bytes();
            model.append(chunk);
            for (const char byte : chunk) // a NUL on the line goes alone
                if (byte != '\0')
                    text += byte;
            break;
        }
        case 1: {
            const std::string_view bytes = script.bytes();
            model.setText(std::string(bytes));
            text = std::string(UpToNul(bytes));
            break;
        }
        case 2:
            model.clear();
            text.clear();
            break;
        case 3: {
            const std::size_t position = script.byte() * 257u % (text.size() + 2);
            model.setCaret(position, (operation & 0x10) != 0);
            break;
        }
        case 4:
            model.move(static_cast<ReceivedTextModel::Move>(script.byte() % 12),
                       (operation & 0x10) != 0, 1 + script.byte() % 8);
            break;
        case 5:
            model.selectAll();
            break;
        case 6: {
            const std::string_view bytes = script.bytes();
            const std::string expected = text.substr(0, model.selectionStart()) +
                                         std::string(UpToNul(bytes)) +
                                         text.substr(model.selectionEnd());
            // Replacing a selection counts as an edit even with the same bytes.
            const bool edit = model.hasSelection() || !UpToNul(bytes).empty();
            Require(model.insert(bytes) == edit);
            text = expected;
            break;
        }
        case 7:
        case 8: {
            const bool backward = operation % 10 == 7;
            std::string expected = text;
            if (model.hasSelection()) {
                expected = WithoutSelection(text, model);
            } else if (backward && model.caret() > 0) {
                const std::size_t step =
                    model.caret() >= 2 && text.compare(model.caret() - 2, 2, "\r\n") == 0 ? 2 : 1;
                expected.erase(model.caret() - step, step);
            } else if (!backward && model.caret() < text.size()) {
                expected.erase(model.caret(), text.compare(model.caret(), 2, "\r\n") == 0 ? 2 : 1);
            }
            Require((backward ? model.deleteBackward() : model.deleteForward()) ==
                    (expected != text));
            text = expected;
            break;
        }
        default: {
            const std::string expected = WithoutSelection(text, model);
            const bool had = model.hasSelection();
            Require(model.removeSelection() == had);
            text = expected;
            break;
        }
        }
        CheckAgainst(model, text);
    }
    return 0;
}
