// The one crossing between byte texts and widgets. Received text, capture
// buffer, recordings and command lines are 8-bit byte strings; only when a
// widget shows them are the bytes read as Windows-1252 (camera/windows1252.h),
// and text the user types becomes bytes the same way. A text handed to a text
// box ends at its first NUL byte (UntilFirstNul in camera/received_text.h).
#pragma once

#include <QChar>
#include <QString>
#include <string>
#include <string_view>

// One byte as the character Windows-1252 gives it.
QChar Windows1252Char(unsigned char byte);

// Every byte as its character, NUL included, so that positions in the string
// are byte positions: what a screen reader is given.
QString ByteCharacters(std::string_view bytes);

// Bytes up to the first NUL, as Windows-1252 characters.
QString ToWidgetText(std::string_view bytes);

// A widget's text as Windows-1252 bytes; characters it cannot hold become '?'.
std::string FromWidgetText(const QString& text);
