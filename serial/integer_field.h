// The integer syntax of the settings fields (port, speed, data bits, minutes).
#pragma once

#include <cstdint>
#include <string>

// Parses a field's text (UTF-8). Throws UserError
// "'<text>' ist kein gültiger Integerwert" when the text is not an integer.
std::int32_t ParseIntegerField(const std::string& textUtf8);
