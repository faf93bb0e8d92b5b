#include "camera/capture_session.h"

#include "camera/capture_controls.h"
#include "camera/command_sequences.h"
#include "camera/terminal.h"
#include "camera/text_formats.h"
#include "capture/hex_capture.h"
#include "platform/clock.h"
#include "platform/user_error.h"

#include <QString>

namespace {

constexpr std::uint32_t kCallSetupWaitMs = 30000;

} // namespace

CaptureSession::CaptureSession(CaptureControls& controls, PictureStore store, QObject* parent)
    : QObject(parent), controls_(controls), store_(store) {
    captureTimer_.setInterval(1000);
    // The tick runs from the start, before any connect.
    captureTimer_.start();
}

void CaptureSession::setTerminal(Terminal* terminal) {
    if (terminal_)
        disconnect(terminal_, nullptr, this, nullptr);
    terminal_ = terminal;
    if (!terminal_)
        return;
    // Starting a running timer would restart its count; keep its phase.
    connect(terminal_, &Terminal::opening, this, [this] {
        if (!captureTimer_.isActive())
            captureTimer_.start();
    });
    connect(terminal_, &Terminal::connectedChanged, this, [this](bool connected) {
        if (!connected)
            captureTimer_.stop();
    });
    terminal_->setBeforeLineDropHandler([this] {
        captureBuffer_ = terminal_->receivedText();
        storeCompletePicture();
    });
}

void CaptureSession::timerTick() {
    if (terminal_)
        captureBuffer_ = terminal_->receivedText();
    decodeAndStore();
}

void CaptureSession::decodeAndStore() {
    storeCompletePicture();
}

void CaptureSession::storeCompletePicture() {
    // A new name at every run, whether or not a picture is complete.
    const std::string stem = controls_.fileStem();
    const std::string moment = store_.momentNow();
    const DecodedCapture decoded = DecodeHexCapture(captureBuffer_);
    if (!decoded.endSeen) {
        if (decoded.startSeen)
            setArriving(decoded.bytes.size());
        return;
    }

    // A store that failed is tried again at every tick (a folder made, a
    // disk freed) but reported only once while the same picture is there.
    const bool retrying = !failedPicture_.empty() &&
                          captureBuffer_.compare(0, failedPicture_.size(), failedPicture_) == 0;
    if (!retrying)
        failedPicture_.clear();
    StoredPicture stored;
    try {
        stored = store_.store(captureBuffer_, decoded, stem, moment);
    } catch (const UserError& error) {
        failedPicture_ = captureBuffer_.substr(0, decoded.endPosition);
        if (retrying)
            return; // its failure is on screen already
        setDone(CaptureProgress::Stage::NotStored, decoded.bytes.size(), {}, error.what());
        throw;
    }
    failedPicture_.clear();
    lastPicture_ = decoded.bytes;
    progress_.verdict = stored.verdict;
    progress_.lineCharacters = stored.lineCharacters;

    // A picture that cannot be shown is on disk all the same: it is told
    // once, and the capture goes on as after any stored picture.
    std::string showFailure;
    try {
        if (controls_.showsPictures() && !stored.keptAside)
            controls_.showPicture(stored.fileName);
    } catch (const UserError& error) {
        showFailure = error.what();
    }
    if (terminal_)
        terminal_->clearReceivedText();
    setDone(showFailure.empty() ? CaptureProgress::Stage::Stored : CaptureProgress::Stage::NotShown,
            decoded.bytes.size(), stored.fileName, showFailure);
    const auto bytes = static_cast<qint64>(decoded.bytes.size());
    if (stored.keptAside)
        emit pictureKeptAside(LocalText(stored.fileName), LocalText(stored.textFileName), bytes,
                              stored.verdict);
    else
        emit pictureStored(LocalText(stored.fileName), bytes);
    modeFollowUp();
    if (!showFailure.empty())
        throw UserError(showFailure);
}

void CaptureSession::modeFollowUp() {
    if (modes_.intervalMode() && !modes_.withoutReconnect() && terminal_)
        terminal_->disconnectPort();
    if (modes_.continuousMode())
        requestPicture();
}

void CaptureSession::dial() {
    if (terminal_)
        RunCommandSequence(CommandSequence::Dial, *terminal_, controls_);
}

void CaptureSession::requestPicture() {
    if (terminal_)
        RunCommandSequence(CommandSequence::PictureRequest, *terminal_, controls_);
}

void CaptureSession::intervalTick() {
    if (terminal_)
        terminal_->clearReceivedText();
    failedPicture_.clear();
    if (modes_.withoutReconnect()) {
        dial();
        CurrentClock().sleepMs(kCallSetupWaitMs);
    }
    requestPicture();
}

void CaptureSession::setArriving(std::size_t bytes) {
    progress_.stage = CaptureProgress::Stage::Arriving;
    progress_.pictureBytes = bytes;
    arrivalRate_.add(CurrentClock().nowMs(), bytes);
    progress_.bytesPerSecond = arrivalRate_.bytesPerSecond();
    emit progressChanged();
}

void CaptureSession::setDone(CaptureProgress::Stage stage, std::size_t bytes, std::string fileName,
                             std::string failure) {
    progress_.stage = stage;
    progress_.pictureBytes = bytes;
    arrivalRate_.reset();
    progress_.bytesPerSecond.reset();
    progress_.fileName = std::move(fileName);
    progress_.failure = std::move(failure);
    if (stage != CaptureProgress::Stage::NotStored)
        progress_.lastStoredBytes = bytes;
    emit progressChanged();
}
