#include "camera/terminal.h"

#include "camera/received_text.h"
#include "platform/com_port_names.h"
#include "platform/user_error.h"

Terminal::Terminal(ReceivedText& received, QObject* parent) : QObject(parent), received_(received) {
    pollTimer_.setInterval(20);
}

void Terminal::setPortSettingsSource(std::function<ComPortSettings()> source) {
    portSettings_ = std::move(source);
}

void Terminal::setBeforeLineDropHandler(std::function<void()> handler) {
    beforeLineDrop_ = std::move(handler);
}

const std::string& Terminal::receivedText() const {
    return received_.text();
}

void Terminal::clearReceivedText() {
    received_.clear();
}

void Terminal::connectPort() {
    if (connected_)
        return;
    emit opening();
    const ComPortSettings settings = portSettings_ ? portSettings_() : ComPortSettings{};
    OpenComPort(settings);
    openedPort_ = settings.devicePath.empty() ? ComPortName(settings.number) : settings.devicePath;
    pollTimer_.start();
    connected_ = true;
    emit connectedChanged(true);
}

void Terminal::disconnectPort() {
    if (!connected_)
        return;
    pollTimer_.stop();
    CloseComPort(ComHandle);
    connected_ = false;
    emit connectedChanged(false);
}

void Terminal::send() {
    if (!connected_)
        return;
    const PortStatus status = WriteComLine(ComHandle, commandField_, writeLimitMs_);
    emit lineSent(QByteArray::fromStdString(commandField_));
    if (status == PortStatus::Vanished)
        reportDroppedLine();
    if (status == PortStatus::Stalled)
        throw LineDropped("Die Leitung nimmt keine Daten an");
}

void Terminal::sendBytes(std::string_view bytes) {
    if (!connected_)
        return;
    const PortStatus status = WriteComBytes(ComHandle, bytes, writeLimitMs_);
    if (status == PortStatus::Vanished)
        reportDroppedLine();
    if (status == PortStatus::Stalled)
        throw LineDropped("Die Leitung nimmt keine Daten an");
}

void Terminal::poll() {
    std::string chunk;
    PortStatus status = ReadComChunk(ComHandle, chunk);
    // A full chunk means more may be waiting: take what is there already, so
    // that the text keeps pace with fast lines.
    if (status == PortStatus::Ok && chunk.size() >= kComChunkBytes)
        status = ReadComWaiting(ComHandle, chunk);
    received_.append(chunk);
    if (status == PortStatus::Vanished)
        reportDroppedLine();
}

void Terminal::reportDroppedLine() {
    const std::string dropped = "Die Verbindung über " + openedPort_ +
                                " ist abgebrochen: das Gerät ist nicht mehr erreichbar";
    // A picture that was complete when the line dropped is still stored; its
    // own failure, if any, is told together with the drop.
    std::string storeFailure;
    if (beforeLineDrop_) {
        try {
            beforeLineDrop_();
        } catch (const UserError& error) {
            storeFailure = error.what();
        }
    }
    // Reported once: the disconnect stops the poll that found it.
    disconnectPort();
    throw LineDropped(storeFailure.empty() ? dropped : dropped + ". " + storeFailure);
}
