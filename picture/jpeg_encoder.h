// JPEG encoding with libjpeg, for pictures of our own making: the
// start-up logo and the simulated board's pictures.
#pragma once

#include <string>

// Encodes width × height pixels of packed 8-bit RGB (3 bytes a pixel, rows
// top to bottom) into the bytes of a JPEG file. quality is 1 to 100.
// Progressive files use libjpeg's usual script of scans, as some cameras and
// most editors write them.
std::string EncodeJpeg(const unsigned char* rgb, int width, int height, int quality,
                       bool progressive = false);
