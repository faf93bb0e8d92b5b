// The names live pictures are stored under, for both front ends: one place,
// so that every rule about them (the stem, the tick or the time, the number
// a taken name gets, what marks a picture kept aside) holds for the window
// and merlon-capture alike.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct PictureFileNames {
    std::string picture;      // <stem>_<moment>[_<n>].jpg, or …[_<n>].<mark>.jpg
    std::string receivedText; // <stem>_<moment>[_<n>].<mark>.txt beside one kept aside, else empty
};

// What sets a picture's name apart from the others': the tick count in
// decimal ("4712345"), or the local time of day ("2026-12-09_04-10-00"),
// which unlike the tick never comes again after a restart or a wrap.
std::string TickMoment(std::uint32_t tick);
std::string TimeMoment(std::int64_t unixMs);

// A picture under its own name when keptAsideAs is empty; otherwise one kept
// beside the sound ones, marked with keptAsideAs (a verdict's file-name form,
// "beschaedigt" or "unlesbar"), with the text it was decoded from next to
// it. The stem is used as given, folder included. Number 1 is the name
// itself; a taken name is tried again with 2, 3, …, which go before the
// extension and the mark: Kamera_4712345_2.jpg, Kamera_4712345_2.beschaedigt.jpg.
PictureFileNames NamePictureFiles(const std::string& stem, std::string_view moment,
                                  std::string_view keptAsideAs = {}, int number = 1);
