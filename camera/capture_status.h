// The German status texts of the live capture: how much of the picture has
// arrived, what was stored last, and which mode runs and when the next
// picture is due. The main window's status line and the progress line of a
// front end without a display say the same.
#pragma once

#include <QtGlobal>
#include <string>

class CaptureModes;
struct CaptureProgress;

// "Bild wird empfangen: 12345 Bytes, 3,2 kB/s, noch etwa 12 s" (the rate
// once it is known, the time left once the picture stored last tells the
// size), "Gespeichert: Kamera_4712.jpg (5432 Bytes), beschädigt" (the stored
// picture's verdict last), or empty before
// anything happened (UTF-8).
std::string DescribeProgress(const CaptureProgress& progress);

// The running mode and when the next picture is due, or empty without a mode.
// msUntilNextInterval is the interval timer's remaining time.
std::string DescribeMode(const CaptureModes& modes, qint64 msUntilNextInterval);
