// The port settings: the COM window's texts as the user typed them, and the
// numbers they stand for, which a front end with options hands over as they
// are. A header of its own, so that the window holding the fields needs
// nothing of the port itself.
#pragma once

#include <cstdint>
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

// The settings as numbers: a COM port number (1 to 19) or a device path,
// the speed in bit/s and the data bits.
struct ComPortSettings {
    int number = 1;
    std::string devicePath = {}; // when set, `number` is not read
    std::int32_t speed = 9600;
    std::int32_t dataBits = 8;
};
