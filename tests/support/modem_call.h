// Places the simulated modem's call by hand, as a terminal user would type
// "ATD", so that a run need not wait half a minute for its own dial. The
// board keeps the call when the port is closed again.
#pragma once

#include "platform/serial_device.h"
#include "tests/support/wait_until.h"

#include <string>

inline bool PlaceModemCall(const std::string& device) {
    int error = 0;
    auto port = SerialDevice::open(device, error);
    if (!port || port->applyLine({9600, 8}, error) != LineSetup::Applied)
        return false;
    if (port->write("ATD 1\r") != SerialStatus::Ok)
        return false;
    std::string answer;
    bool lineFailed = false;
    WaitUntil(
        [&] {
            lineFailed = port->readWaiting(64, answer) != SerialStatus::Ok;
            return lineFailed || answer.find("CONNECT") != std::string::npos;
        },
        5000);
    return !lineFailed && answer.find("CONNECT") != std::string::npos;
}
