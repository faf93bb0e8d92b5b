// The serial device behind a port: exclusive opening, line settings from a
// plain record, reads that take what has arrived and never wait, and writes
// one byte per call that wait until the device takes each byte, for a
// limited time. A device that goes away (far side closed, USB adapter pulled) is reported as
// vanished, never as an error to retry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <sys/types.h>

struct termios;

struct SerialLineSettings {
    std::int32_t bitsPerSecond = 9600;
    int dataBits = 8; // 5 to 8; no parity, one stop bit, no flow control
};

// Stalled: the device took no more within the write's time limit (output
// stopped by flow control, or a far side that never reads).
enum class SerialStatus { Ok, Vanished, Stalled };

// How long a write may take as a whole before it counts as stalled.
constexpr std::int64_t kSerialWriteLimitMs = 10000;

enum class LineSetup { Applied, SpeedRefused, DataBitsRefused, Failed };

class SerialDevice {
public:
    // Opens the device for exclusive use. On failure returns nullptr and puts
    // the errno value into `error`; another opener holding it gives EBUSY.
    static std::unique_ptr<SerialDevice> open(const std::string& path, int& error);

    // Waits until what was written has gone out, restores the settings found
    // at opening (LastLineRestore() tells how that went) and gives up
    // exclusivity. After a stalled write the output still queued is
    // dropped instead: it would never go out, and the wait never end.
    ~SerialDevice();
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    // Raw 8-bit line with the given speed and character size, RTS on, DTR
    // off. Reads the settings back: a device that adjusted the speed by more
    // than 2 % or ignored the character size refused it. `error` is set for
    // Failed.
    LineSetup applyLine(const SerialLineSettings& settings, int& error);

    // Appends what is waiting already, up to maxBytes, without waiting.
    // Bytes read before the device vanished are still delivered as Ok; the
    // next call reports Vanished.
    SerialStatus readWaiting(std::size_t maxBytes, std::string& bytes);

    // Each byte goes out with its own write call, in order; waits while the
    // device cannot take more, stops when it vanished, and gives up with
    // Stalled once limitMs (read on the clock in force) have passed since
    // the call began. Bytes taken before a stall stay taken.
    SerialStatus write(std::string_view bytes, std::int64_t limitMs = kSerialWriteLimitMs);

    bool vanished() const { return vanished_; }

private:
    struct SavedSettings;
    SerialDevice(int fd, std::unique_ptr<SavedSettings> saved);

    bool hungUp() const;

    int fd_;
    std::unique_ptr<SavedSettings> saved_;
    bool vanished_ = false;
    bool stalled_ = false;
};

// Clears the exclusive flag of the device open now, if any, for an ending
// that skips destructors (_Exit, a fatal signal): where the far side keeps the
// device open, the flag would outlive the process and lock out the next
// non-root opener. The lock goes with the process anyway. Async-signal-safe.
void ReleaseSerialDeviceForExit();

// Makes SIGTERM, SIGINT and SIGHUP release the device first, then end the
// process as they would have. Signals the process ignores stay ignored.
void ReleaseSerialDeviceOnTerminationSignals();

// German text (UTF-8) for an errno value from opening or setting a device.
std::string DeviceErrorText(int error);

// Test seam: the call that writes each byte; nullptr brings back write(2).
using SerialWriteCall = ssize_t (*)(int fd, const void* data, std::size_t size);
void SetSerialWriteCall(SerialWriteCall call);

// How closing the last device fared with its saved line settings. Nobody can
// act on a failure while the program closes a port, but it must not pass
// unnoticed where it can be checked.
enum class LineRestore { NotTried, Restored, DeviceGone, Failed };
struct LineRestoreResult {
    LineRestore outcome = LineRestore::NotTried;
    int error = 0; // errno for Failed
};
LineRestoreResult LastLineRestore();

// Test seam: the call that puts the saved settings back; nullptr brings back
// tcsetattr(fd, TCSANOW, settings).
using SerialRestoreCall = int (*)(int fd, const termios* settings);
void SetSerialRestoreCall(SerialRestoreCall call);
