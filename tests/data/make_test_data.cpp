// Writes the test recordings: terminal captures of a modem session in which
// the board sends small.jpg (also written) as a picture stream, in the shapes
// a user's capture program produces.
#include "capture/hex_capture.h"
#include "picture/jpeg_encoder.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

std::string Picture(int width, int height, int seed) {
    std::vector<unsigned char> rgb(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            unsigned char* pixel = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
            pixel[0] = static_cast<unsigned char>(x * 255 / (width - 1));
            pixel[1] = static_cast<unsigned char>(y * 255 / (height - 1));
            pixel[2] = static_cast<unsigned char>(((x / 4 + y / 4 + seed) % 2) * 200);
        }
    }
    return EncodeJpeg(rgb.data(), width, height, 75);
}

// "XX " per byte; a line break after every pairsPerLine pairs when wrapping.
std::string HexPairs(const std::string& bytes, std::size_t pairsPerLine, const char* lineBreak) {
    return EncodeHexPairs(bytes, HexDigitCase::Upper, pairsPerLine, lineBreak);
}

// The modem session up to the moment the board starts sending.
std::string Dialling(const char* br) {
    const std::string b = br;
    return "AT\r" + b + "OK" + b + "ATD 0157\r" + b + "CONNECT 9600" + b + "CONBE\r" + b +
           "OK CONBE" + b + "CONSD\r" + b + "OK CONSD" + b + "CONRH\r" + b + "OK CONRH" + b +
           "BILD\r" + b;
}

void Write(const std::string& dir, const std::string& name, const std::string& bytes) {
    std::ofstream file(dir + "/" + name, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file)
        throw std::runtime_error("cannot write " + name);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: merlon-make-test-data DIRECTORY\n";
        return 2;
    }
    const std::string dir = argv[1];
    const std::string small = Picture(24, 16, 0);
    const std::string second = Picture(16, 16, 1);

    // A capture program that wraps the stream every 32 pairs, CR LF lines.
    const std::string wrapped = Dialling("\r\n") + "CAM_B\r\n" + HexPairs(small, 32, "\r\n") +
                                "CAM_E\r\n" + "\r\nNO CARRIER\r\n";
    // The same session saved with LF line breaks only, stream unwrapped.
    const std::string lfOnly =
        Dialling("\n") + "CAM_B\n" + HexPairs(small, 0, "") + "CAM_E\n" + "\nNO CARRIER\n";
    // The line dropped halfway through the picture.
    const std::string cut =
        Dialling("\r\n") + "CAM_B\r\n" + HexPairs(small.substr(0, 300), 32, "\r\n");
    // Two pictures in one session; only the first counts.
    const std::string two = Dialling("\r\n") + "CAM_B\r\n" + HexPairs(small, 0, "") + "CAM_E\r\n" +
                            "BILD\r\r\n" + "CAM_B\r\n" + HexPairs(second, 0, "") + "CAM_E\r\n";

    try {
        Write(dir, "small.jpg", small);
        Write(dir, "recording_wrapped.txt", wrapped);
        Write(dir, "recording_lf.txt", lfOnly);
        Write(dir, "recording_cut.txt", cut);
        Write(dir, "recording_two_pictures.txt", two);
    } catch (const std::exception& error) {
        std::cerr << "merlon-make-test-data: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
