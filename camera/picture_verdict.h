// The verdict on a received picture: whether it came in sound, damaged or not
// at all readable, from two kinds of evidence. libjpeg reads every scan's
// entropy-coded data (picture/jpeg_reading.h) and tells what it had to work
// around; and the received text between "CAM_B" and "CAM_E" must be a run of
// hex pairs as the board sends them, where a lost or extra digit shows first.
// Only what comes up to the picture's end-of-image marker counts. The verdict
// never changes a byte: what is stored is what the decoder gave.
#pragma once

#include <string_view>

struct DecodedCapture;

enum class PictureVerdict {
    Sound,      // "in Ordnung"
    Damaged,    // "beschädigt"
    Unreadable, // "unlesbar"
};

// The verdict as the user reads it (UTF-8): "in Ordnung", "beschädigt",
// "unlesbar".
const char* VerdictText(PictureVerdict verdict);
// The same in letters safe in a file name, for pictures kept beside the sound
// ones: "in-ordnung", "beschaedigt", "unlesbar".
const char* VerdictFileWord(PictureVerdict verdict);

// Judges the picture in a received text: text holds it from its "CAM_B" on
// (the first one, as DecodeHexCapture takes it), and bytes are what
// DecodeHexCapture gave for that text.
// - Unreadable: no bytes, or libjpeg gives up on them.
// - Damaged: libjpeg reads them but warns, or the limits on scans and memory
//   cut the reading short, or the text up to the picture's last byte is not a
//   run of upper-case hex pairs, each followed by its space, with line breaks
//   (CR, LF) allowed between them.
// - Sound: everything else.
PictureVerdict JudgePicture(std::string_view text, std::string_view bytes);

// The received text of the picture in text, from its "CAM_B" up to and
// including its "CAM_E" (to the end of text while the end has not come):
// what is kept beside a damaged picture for a person to look at.
std::string_view PictureText(std::string_view text, const DecodedCapture& capture);
