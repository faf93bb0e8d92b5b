// Places the simulated modem's call by hand, as a terminal user would type
// "ATD", so that a run need not wait half a minute for its own dial. The
// board keeps the call when the port is closed again.
#pragma once

#include "platform/serial_device.h"

#include <QThread>
#include <string>

inline bool PlaceModemCall(const std::string& device) {
    int error = 0;
    auto port = SerialDevice::open(device, error);
    if (!port || port->applyLine({9600, 8}, error) != LineSetup::Applied)
        return false;
    if (port->write("ATD 1\r") != SerialStatus::Ok)
        return false;
    std::string answer;
    for (int i = 0; i < 25 && answer.find("CONNECT") == std::string::npos; ++i) {
        QThread::msleep(200); // reads never wait: give the modem time
        if (port->readWaiting(64, answer) != SerialStatus::Ok)
            return false;
    }
    return answer.find("CONNECT") != std::string::npos;
}
