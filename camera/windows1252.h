// Windows-1252, the one mapping between the program's bytes and characters:
// where bytes meet a widget, a screen reader or a glyph, each byte is the
// character this table gives it, and text the user types becomes bytes
// through it. Plain C++, so that the rules of the received text can be
// checked without Qt's widgets.
#pragma once

// One byte as a Unicode character. The 128 bytes of ASCII and 0xA0 … 0xFF are
// the same code points; 0x80 … 0x9F are Windows-1252's letters and signs, and
// its five unassigned codes map to the C1 control of the same number, as
// Windows does.
char16_t Windows1252Character(unsigned char byte);

// The byte a character is in Windows-1252, or -1 for a character it cannot hold.
int Windows1252Byte(char16_t character);
