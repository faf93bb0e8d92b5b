#include "platform/com_port_names.h"

#include <cstdlib>

std::string ComPortName(int number) {
    return "COM" + std::to_string(number);
}

std::string ComPortDevicePath(int number) {
    const std::string variable = "MERLON_COM" + std::to_string(number);
    // An empty value names nothing that could be opened; treat it as unset.
    if (const char* device = std::getenv(variable.c_str()); device && *device)
        return device;
    return "/dev/ttyS" + std::to_string(number - 1);
}
