// Which device stands behind "COM1" … "COM19": the one named by the
// environment variable MERLON_COM<n> if set, otherwise /dev/ttyS<n-1>.
#pragma once

#include <string>

constexpr int FirstComPortNumber = 1;
constexpr int LastComPortNumber = 19;

// "COM" followed by the number, as the user knows the port.
std::string ComPortName(int number);

// The device path for a number from FirstComPortNumber to LastComPortNumber.
std::string ComPortDevicePath(int number);
