// JPEG files for the picture tests: solid colours in the colour spaces libjpeg
// writes, and hand-made files that declare huge sizes or endless scans.
#pragma once

#include <QColor>

#include <string>

enum class SampleSpace { Rgb, StoredRgb, Grey, AdobeCmyk, PlainCmyk, Ycck };

// A width × height picture of one colour, encoded by libjpeg in the given
// colour space (Grey takes the colour's red as the grey level).
std::string SolidJpeg(int width, int height, QColor colour, SampleSpace space = SampleSpace::Rgb,
                      bool progressive = false);

// The left half one colour, the right half another (baseline, RGB).
std::string TwoColourJpeg(int width, int height, QColor left, QColor right);

// One grey component declaring width × height, with tables and a few bytes of
// pixel data, so that every block decodes as mid-grey. Baseline has one scan;
// progressive has a DC scan followed by scans - 1 AC scans.
std::string CraftedGreyJpeg(int width, int height, bool progressive, int scans = 1);

// The offset of the first byte after the first start-of-scan header.
std::size_t ScanDataOffset(const std::string& jpeg);
// The offset of the start-of-frame segment's marker.
std::size_t FrameOffset(const std::string& jpeg);

// Peak memory of this process: resident kilobytes now, after forgetting the
// earlier peak where the system allows it, and the peak since then.
long StartMemoryWatch();
long PeakResidentKb();
