// Where the terminal keeps what it received: the data window's text box in the
// program, a plain byte string in a front end without a display. The capture
// cycle reads and empties it through the terminal.
#pragma once

#include <string>
#include <string_view>

class ReceivedText {
public:
    virtual ~ReceivedText() = default;
    // The bytes as they stand, the user's edits included where there is a user.
    virtual const std::string& text() const = 0;
    virtual void append(std::string_view chunk) = 0;
    virtual void clear() = 0;
};

// A received text that only holds bytes.
class PlainReceivedText : public ReceivedText {
public:
    const std::string& text() const override { return text_; }
    void append(std::string_view chunk) override { text_.append(chunk); }
    void clear() override { text_.clear(); }

private:
    std::string text_;
};
