// The COM window's settings as the user typed them, handed to the port
// routines at every opening. A header of its own, so that the window holding
// the fields needs nothing of the port itself.
#pragma once

#include <string>

// The COM window's three texts (UTF-8), read afresh at every opening.
struct ComPortFields {
    std::string port;
    std::string speed;
    std::string dataBits;
    // A device named by its path instead of a port number (a front end
    // without a display takes either); when set, `port` is not read.
    std::string devicePath = {};
};
