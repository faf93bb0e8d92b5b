// The failure a user gets to see: a German message (UTF-8), thrown where the
// failure happens and shown by the window layer's failure guard, or written
// to standard error by merlon-capture and merlon-convert. Every layer throws
// it; it is caught where Qt or a program's own loop enters the code, and
// below that only to tidy up and throw it on. Standard C++ only, and a
// library of its own (merlon_user_error), so that a layer can throw it
// without linking the rest of platform/.
#pragma once

#include <stdexcept>
#include <string>

class UserError : public std::runtime_error {
public:
    explicit UserError(const std::string& messageUtf8) : std::runtime_error(messageUtf8) {}

    // "%s" in the template is replaced by the detail, once.
    static UserError withDetail(const std::string& templateUtf8, const std::string& detail) {
        std::string message = templateUtf8;
        const auto at = message.find("%s");
        if (at != std::string::npos)
            message.replace(at, 2, detail);
        return UserError(message);
    }
};
