#include "jpeg_samples.h"

#include "picture/jpeg_encoder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

#include <jpeglib.h>
#include <sys/resource.h>

namespace {

void put16(std::string& out, int value) {
    out += static_cast<char>((value >> 8) & 0xFF);
    out += static_cast<char>(value & 0xFF);
}

void putMarker(std::string& out, int marker) {
    out += static_cast<char>(0xFF);
    out += static_cast<char>(marker);
}

// One Huffman table holding a single one-bit code for symbol 0: a zero bit is
// "difference 0" for DC and "end of block" for AC.
void putTrivialHuffmanTable(std::string& out, int classAndId) {
    putMarker(out, 0xC4);
    put16(out, 2 + 1 + 16 + 1);
    out += static_cast<char>(classAndId);
    out += static_cast<char>(1);
    out.append(15, '\0');
    out += '\0';
}

void putScan(std::string& out, int start, int end, int dataBytes) {
    putMarker(out, 0xDA);
    put16(out, 2 + 1 + 2 + 3);
    out += static_cast<char>(1);    // one component
    out += static_cast<char>(1);    // component 1
    out += static_cast<char>(0x00); // tables 0 and 0
    out += static_cast<char>(start);
    out += static_cast<char>(end);
    out += static_cast<char>(0x00); // no successive approximation
    out.append(static_cast<size_t>(dataBytes), '\0');
}

} // namespace

std::string SolidJpeg(int width, int height, QColor colour, SampleSpace space, bool progressive) {
    const int red = colour.red(), green = colour.green(), blue = colour.blue();
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);

    std::vector<unsigned char> pixel;
    switch (space) {
    case SampleSpace::Rgb:
    case SampleSpace::StoredRgb:
        info.in_color_space = JCS_RGB;
        pixel = {static_cast<unsigned char>(red), static_cast<unsigned char>(green),
                 static_cast<unsigned char>(blue)};
        break;
    case SampleSpace::Grey:
        info.in_color_space = JCS_GRAYSCALE;
        pixel = {static_cast<unsigned char>(red)};
        break;
    case SampleSpace::PlainCmyk: {
        info.in_color_space = JCS_CMYK;
        const int black = 255 - std::max({red, green, blue});
        const auto ink = [black](int value) {
            return static_cast<unsigned char>(black == 255 ? 0 : 255 - value * 255 / (255 - black));
        };
        pixel = {ink(red), ink(green), ink(blue), static_cast<unsigned char>(black)};
        break;
    }
    case SampleSpace::AdobeCmyk:
    case SampleSpace::Ycck: {
        info.in_color_space = JCS_CMYK;
        const int black = 255 - std::max({red, green, blue});
        const auto inverted = [black](int value) {
            return static_cast<unsigned char>(black == 255 ? 255 : value * 255 / (255 - black));
        };
        pixel = {inverted(red), inverted(green), inverted(blue),
                 static_cast<unsigned char>(255 - black)};
        break;
    }
    }
    info.input_components = static_cast<int>(pixel.size());
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    jpeg_set_defaults(&info);
    if (space == SampleSpace::StoredRgb)
        jpeg_set_colorspace(&info, JCS_RGB);
    if (space == SampleSpace::Ycck)
        jpeg_set_colorspace(&info, JCS_YCCK);
    if (space == SampleSpace::PlainCmyk)
        info.write_Adobe_marker = FALSE;
    jpeg_set_quality(&info, 95, TRUE);
    if (progressive)
        jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);

    std::vector<unsigned char> row;
    for (int x = 0; x < width; ++x)
        row.insert(row.end(), pixel.begin(), pixel.end());
    while (info.next_scanline < info.image_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::string bytes(reinterpret_cast<const char*>(buffer), size);
    std::free(buffer);
    return bytes;
}

std::string TwoColourJpeg(int width, int height, QColor left, QColor right) {
    std::vector<unsigned char> rgb;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const QColor& colour = x < width / 2 ? left : right;
            rgb.push_back(static_cast<unsigned char>(colour.red()));
            rgb.push_back(static_cast<unsigned char>(colour.green()));
            rgb.push_back(static_cast<unsigned char>(colour.blue()));
        }
    return EncodeJpeg(rgb.data(), width, height, 95);
}

std::string CraftedGreyJpeg(int width, int height, bool progressive, int scans) {
    std::string out;
    putMarker(out, 0xD8);

    putMarker(out, 0xDB);
    put16(out, 2 + 1 + 64);
    out += '\0';
    out.append(64, '\1');

    putMarker(out, progressive ? 0xC2 : 0xC0);
    put16(out, 2 + 1 + 2 + 2 + 1 + 3);
    out += static_cast<char>(8);
    put16(out, height);
    put16(out, width);
    out += static_cast<char>(1);    // one component
    out += static_cast<char>(1);    // its id
    out += static_cast<char>(0x11); // no subsampling
    out += '\0';                    // quantisation table 0

    putTrivialHuffmanTable(out, 0x00);
    putTrivialHuffmanTable(out, 0x10);

    if (!progressive) {
        putScan(out, 0, 63, 16);
    } else {
        putScan(out, 0, 0, 4);
        for (int scan = 1; scan < scans; ++scan)
            putScan(out, 1, 63, 4);
    }
    putMarker(out, 0xD9);
    return out;
}

std::size_t ScanDataOffset(const std::string& jpeg) {
    const std::size_t marker = jpeg.find("\xFF\xDA");
    if (marker == std::string::npos)
        return std::string::npos;
    const auto length = (static_cast<unsigned char>(jpeg[marker + 2]) << 8) |
                        static_cast<unsigned char>(jpeg[marker + 3]);
    return marker + 2 + length;
}

std::size_t FrameOffset(const std::string& jpeg) {
    for (const char* marker : {"\xFF\xC0", "\xFF\xC1", "\xFF\xC2"}) {
        const std::size_t at = jpeg.find(marker);
        if (at != std::string::npos)
            return at;
    }
    return std::string::npos;
}

long StartMemoryWatch() {
    // Writing 5 resets the peak that getrusage reports (Linux 4.0 and later).
    // Where that is refused the peak is the whole run's: an overestimate.
    std::ofstream("/proc/self/clear_refs") << "5";
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kb = 0;
            status >> kb;
            return kb;
        }
    }
    return 0;
}

long PeakResidentKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}
