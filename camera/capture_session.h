// The window's live capture: the capture buffer, the once-a-second tick
// (Timer1) that copies the received text into it and runs the
// decode-and-store step, the two command sequences on the terminal, and the
// automatic modes with what they do after a picture. No widgets: the main
// window forwards its buttons, check boxes and timers here and mirrors the
// state back. The station (merlon-capture) runs its own loop over the same
// parts (camera/station_loop.h).
//
// The session alone starts and stops the capture tick: it runs from the
// start, starts when the terminal begins a connect and stops when the port
// closes.
#pragma once

#include "camera/arrival_rate.h"
#include "camera/capture_modes.h"
#include "camera/capture_progress.h"
#include "camera/picture_store.h"

#include <QObject>
#include <QTimer>
#include <string>

class CaptureControls;
class Terminal;

class CaptureSession : public QObject {
    Q_OBJECT
public:
    explicit CaptureSession(CaptureControls& controls,
                            PictureStore store = PictureStore(PictureNaming::TickCount,
                                                              UnsoundPictures::StoredAsAny),
                            QObject* parent = nullptr);

    // The terminal the sequences send through and whose connection the
    // capture tick follows; its line drop runs one last decode-and-store.
    void setTerminal(Terminal* terminal);

    QTimer& captureTimer() { return captureTimer_; } // Timer1, 1000 ms
    CaptureModes& modes() { return modes_; }
    const CaptureModes& modes() const { return modes_; }

    // The capture buffer: the last copy of the received text, or a recording.
    const std::string& captureBuffer() const { return captureBuffer_; }
    void setCaptureBuffer(std::string text) { captureBuffer_ = std::move(text); }

    // Timer1: copies the received text into the capture buffer and runs the
    // decode-and-store step.
    void timerTick();
    // Button6: decode the capture buffer; once the end marker is in, store
    // the picture (PictureStore), show it, empty the received text, then the
    // modes' follow-up (close the port, or request the next picture).
    // A picture whose store failed is reported once and stored again at
    // every run, quietly, until it is stored or the received text no longer
    // holds it. A picture stored but not shown is reported once, and the
    // text is emptied and the modes go on all the same.
    void decodeAndStore();

    // "Datenverbindung aufbauen": "AT", a second's wait, "ATD " and the number.
    void dial();
    // "BILD": the three option lines and "BILD", a second apart.
    void requestPicture();
    // Timer2: empties the received text; with "ohne Reconnect" dials and
    // waits 30 s for the call; then requests a picture.
    void intervalTick();

    const CaptureProgress& progress() const { return progress_; }
    // The bytes of the picture stored last.
    const std::string& lastPicture() const { return lastPicture_; }

signals:
    void progressChanged();
    // A picture was stored under this name with this many bytes.
    void pictureStored(const QString& fileName, qint64 bytes);
    // A picture that is not sound was kept aside, with its received text
    // (only with a store that keeps such pictures aside).
    void pictureKeptAside(const QString& fileName, const QString& textFileName, qint64 bytes,
                          PictureVerdict verdict);

private:
    // The picture the capture buffer holds, if complete: stored and shown.
    void storeCompletePicture();
    // What the modes do after a picture: close the port ("alle" without
    // "ohne Reconnect"), or request the next one ("Fortlaufend").
    void modeFollowUp();
    void setArriving(std::size_t bytes);
    void setDone(CaptureProgress::Stage stage, std::size_t bytes, std::string fileName = {},
                 std::string failure = {});

    CaptureControls& controls_;
    PictureStore store_;
    CaptureModes modes_;
    Terminal* terminal_ = nullptr;
    QTimer captureTimer_;
    std::string captureBuffer_;
    // The received text up to the end marker of the picture whose store
    // failed last, so that its failure is told once.
    std::string failedPicture_;
    CaptureProgress progress_;
    std::string lastPicture_;
    ArrivalRate arrivalRate_;
};
