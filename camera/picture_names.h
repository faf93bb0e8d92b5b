// The names live pictures are stored under, for both front ends: one place,
// so that every rule about them (the stem, the tick, what marks a picture
// kept aside) holds for the window and merlon-capture alike.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct PictureFileNames {
    std::string picture;      // <stem>_<tick>.jpg, or <stem>_<tick>.<mark>.jpg
    std::string receivedText; // <stem>_<tick>.<mark>.txt beside one kept aside, else empty
};

// A picture under its own name when keptAsideAs is empty; otherwise one kept
// beside the sound ones, marked with keptAsideAs (a verdict's file-name form,
// "beschaedigt" or "unlesbar"), with the text it was decoded from next to
// it. The stem is used as given, folder included; the tick in decimal.
PictureFileNames NamePictureFiles(const std::string& stem, std::uint32_t tick,
                                  std::string_view keptAsideAs = {});
