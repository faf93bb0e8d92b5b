// The one crossing between byte texts and widgets. Received text, capture
// buffer, recordings and command lines are 8-bit byte strings; only when a
// widget shows them are the bytes read as Windows-1252, and text the user
// types becomes bytes the same way. A text handed to a text box ends at its
// first NUL byte.
#pragma once

#include <QChar>
#include <QString>
#include <string>
#include <string_view>

// The part of the bytes a text box keeps: everything before the first NUL.
std::string_view UntilFirstNul(std::string_view bytes);

// One byte as the character Windows-1252 gives it (the five unassigned codes
// map to the C1 control of the same number, as Windows does).
QChar Windows1252Char(unsigned char byte);

// Bytes up to the first NUL, as Windows-1252 characters.
QString ToWidgetText(std::string_view bytes);

// A widget's text as Windows-1252 bytes; characters it cannot hold become '?'.
std::string FromWidgetText(const QString& text);
