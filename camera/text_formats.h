// How the program writes counts, times and file names in its German texts:
// one formatter each, so that the status line, the station's lines and its
// messages say "1 Byte" and "2 Bytes" alike, and bytes from the file system
// or a command line become text (and back) in one way.
#pragma once

#include <QString>
#include <cstdint>
#include <string>
#include <string_view>

// "1 Byte", "2 Bytes".
std::string ByteCountText(std::int64_t bytes);

// "1 Sekunde", "30 Sekunden".
std::string SecondsText(std::int64_t seconds);

// A calendar time (milliseconds since 1970) in local time, as the station's
// lines give it: "2026-11-30 01:53:20".
std::string LocalTimeText(std::int64_t wallMs);

// A coming time as the status line gives it: "01:53:20" on the day of
// nowWallMs, "01.12.2026 01:53:20" on another.
std::string ClockTimeText(std::int64_t wallMs, std::int64_t nowWallMs);

// Bytes in the local 8-bit encoding (file names, command lines) as text, and
// back.
QString LocalText(std::string_view bytes);
std::string LocalBytes(const QString& text);
