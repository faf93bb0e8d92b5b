#include "serial/com_port.h"

#include "platform/com_port_names.h"
#include "platform/user_error.h"
#include "serial/integer_field.h"

#include <cstdint>

ComPortHandle ComHandle;

namespace {

std::string PortLabel(int number, const std::string& device) {
    return ComPortName(number) + " (" + device + ")";
}

PortStatus ToPortStatus(SerialStatus status) {
    switch (status) {
    case SerialStatus::Ok:
        return PortStatus::Ok;
    case SerialStatus::Stalled:
        return PortStatus::Stalled;
    case SerialStatus::Vanished:
        break;
    }
    return PortStatus::Vanished;
}

} // namespace

ComPortSettings ParseComPortFields(const ComPortFields& fields) {
    std::int32_t number = 0;
    if (fields.devicePath.empty()) {
        number = ParseIntegerField(fields.port);
        if (number < kFirstComPortNumber || number > kLastComPortNumber)
            throw UserError::withDetail("'%s' ist keine gültige Portnummer, erlaubt sind 1 bis 19",
                                        fields.port);
    }
    const std::int32_t speed = ParseIntegerField(fields.speed);
    if (speed <= 0)
        throw UserError::withDetail(
            "'%s' ist keine gültige Geschwindigkeit, erlaubt sind Werte ab 1 Bit/s", fields.speed);
    const std::int32_t dataBits = ParseIntegerField(fields.dataBits);
    if (dataBits < 5 || dataBits > 8)
        throw UserError::withDetail("'%s' ist keine gültige Anzahl Datenbits, erlaubt sind 5 bis 8",
                                    fields.dataBits);

    return {number, fields.devicePath, speed, dataBits};
}

void OpenComPort(const ComPortFields& fields) {
    OpenComPort(ParseComPortFields(fields));
}

void OpenComPort(const ComPortSettings& settings) {
    // The same device may still be held by this handle; it would refuse us.
    CloseComPort(ComHandle);

    const int number = settings.number;
    const std::int32_t speed = settings.speed;
    const std::int32_t dataBits = settings.dataBits;
    const bool byPath = !settings.devicePath.empty();
    const std::string device = byPath ? settings.devicePath : ComPortDevicePath(number);
    const std::string label = byPath ? device : PortLabel(number, device);
    int error = 0;
    std::unique_ptr<SerialDevice> opened = SerialDevice::open(device, error);
    if (!opened)
        throw UserError(label + " kann nicht geöffnet werden: " + DeviceErrorText(error));

    // Leaving the function early closes `opened` again, so nothing stays open.
    switch (opened->applyLine(SerialLineSettings{speed, dataBits}, error)) {
    case LineSetup::Applied:
        break;
    case LineSetup::SpeedRefused:
        throw UserError(label + " unterstützt die Geschwindigkeit " + std::to_string(speed) +
                        " Bit/s nicht");
    case LineSetup::DataBitsRefused:
        throw UserError(label + " unterstützt " + std::to_string(dataBits) + " Datenbits nicht");
    case LineSetup::Failed:
        throw UserError(label + " kann nicht eingestellt werden: " + DeviceErrorText(error));
    }
    ComHandle.device = std::move(opened);
}

PortStatus WriteComLine(ComPortHandle& handle, std::string_view line, std::int64_t limitMs) {
    if (!handle.isOpen())
        return PortStatus::Vanished;
    std::string withReturn(line);
    withReturn += '\r';
    return ToPortStatus(handle.device->write(withReturn, limitMs));
}

PortStatus WriteComBytes(ComPortHandle& handle, std::string_view bytes, std::int64_t limitMs) {
    if (!handle.isOpen())
        return PortStatus::Vanished;
    return ToPortStatus(handle.device->write(bytes, limitMs));
}

PortStatus ReadComChunk(ComPortHandle& handle, std::string& text) {
    if (!handle.isOpen())
        return PortStatus::Vanished;
    std::string chunk;
    const SerialStatus status = handle.device->readWaiting(kComChunkBytes, chunk);
    if (status == SerialStatus::Ok)
        text = std::move(chunk);
    return ToPortStatus(status);
}

PortStatus ReadComWaiting(ComPortHandle& handle, std::string& text) {
    if (!handle.isOpen())
        return PortStatus::Vanished;
    return ToPortStatus(handle.device->readWaiting(kComWaitingLimit, text));
}

void CloseComPort(ComPortHandle& handle) {
    handle.device.reset();
}
