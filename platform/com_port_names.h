// Which device stands behind "COM1" … "COM19": the one named by the
// environment variable MERLON_COM<n> if set, otherwise /dev/ttyS<n-1>.
#pragma once

#include <string>

constexpr int kFirstComPortNumber = 1;
constexpr int kLastComPortNumber = 19;

// "COM" followed by the number, as the user knows the port.
std::string ComPortName(int number);

// The device path for a number from kFirstComPortNumber to kLastComPortNumber.
std::string ComPortDevicePath(int number);
