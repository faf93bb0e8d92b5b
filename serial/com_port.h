// The port routines the terminal (camera/terminal.h) calls for the data
// window and for merlon-capture: open the port with the COM window's
// settings, write a command line, read what came in, close. The one port
// handle of the process lives here.
#pragma once

#include "platform/serial_device.h"
#include "serial/com_port_fields.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

// Stalled: the line took no more within the write's time limit.
enum class PortStatus { Ok, Vanished, Stalled };

// Wraps the open device, or nothing while the port is closed.
struct ComPortHandle {
    std::unique_ptr<SerialDevice> device;

    bool isOpen() const { return device != nullptr; }
};

// The one port handle of the process.
extern ComPortHandle ComHandle;

// Bytes one chunk read takes at most.
constexpr std::size_t kComChunkBytes = 28;
// Most bytes one ReadComWaiting takes, so that a flood cannot hold it forever.
constexpr std::size_t kComWaitingLimit = 64 * 1024;

// Parses port (unless a device path is given), speed and data bits in that
// order. Throws UserError for a field that is no integer or out of range.
ComPortSettings ParseComPortFields(const ComPortFields& fields);

// Opens the port and stores it in ComHandle (a port still open there is
// closed first). Throws UserError for a port that cannot be opened and for
// settings the device refuses; then nothing is open.
void OpenComPort(const ComPortSettings& settings);
// ParseComPortFields, then OpenComPort.
void OpenComPort(const ComPortFields& fields);

// Writes the line and a carriage return, each byte with its own write call,
// within limitMs for the whole. A closed handle reports Vanished.
PortStatus WriteComLine(ComPortHandle& handle, std::string_view line,
                        std::int64_t limitMs = kSerialWriteLimitMs);
// Writes the bytes as they are, without a carriage return (the modem's
// escape, "+++"), within limitMs.
PortStatus WriteComBytes(ComPortHandle& handle, std::string_view bytes,
                         std::int64_t limitMs = kSerialWriteLimitMs);

// Puts up to kComChunkBytes of what has arrived into `text` (empty when
// nothing has) and returns at once: the data window polls on the window
// thread, which must never wait for the line. On Vanished `text` stays as it was.
PortStatus ReadComChunk(ComPortHandle& handle, std::string& text);

// Appends what is already waiting, up to kComWaitingLimit, without waiting.
// On Vanished `text` stays as it was.
PortStatus ReadComWaiting(ComPortHandle& handle, std::string& text);

// Closes the port (restoring its settings); a closed handle stays closed.
void CloseComPort(ComPortHandle& handle);
