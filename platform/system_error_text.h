// The causes the operating system gives (errno) as German text, whatever the
// locale: the station runs as a service with the C locale, where strerror()
// speaks English. Only the causes a write, an open or a start of a program
// meets are worded; any other gets its number.
#pragma once

#include <string>

// "Auf dem Gerät ist kein Speicherplatz mehr verfügbar" for ENOSPC, …;
// "Systemfehler <n>" for a cause without a text of its own.
std::string SystemErrorText(int errorNumber);
