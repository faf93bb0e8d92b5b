// The serial terminal that owns the connection: the connected flag, connect,
// send, disconnect and the 20 ms poll that appends what arrived to the
// received text. The data window shows it and forwards its hidden buttons
// here; a front end without a display drives it the same way.
#pragma once

#include "platform/user_error.h"
#include "serial/com_port.h"

#include <QObject>
#include <QTimer>
#include <functional>
#include <string>
#include <string_view>

class ReceivedText;

// The line dropped under the terminal (the device went away, or took no
// data within the write's time limit). A failure like any other for the
// window; a station that keeps going tells it apart.
class LineDropped : public UserError {
public:
    using UserError::UserError;
};

class Terminal : public QObject {
    Q_OBJECT
public:
    explicit Terminal(ReceivedText& received, QObject* parent = nullptr);

    // Where the port settings come from, read afresh at every opening; the
    // source throws UserError for settings it cannot take (the window's
    // fields are parsed there, when they are used).
    void setPortSettingsSource(std::function<ComPortSettings()> source);
    // Runs once when the line drops, before the port is closed, so that a
    // picture completed just before is still taken.
    void setBeforeLineDropHandler(std::function<void()> handler);

    // The command field: the next line to send, as bytes.
    void setCommandField(std::string line) { commandField_ = std::move(line); }
    const std::string& commandField() const { return commandField_; }

    bool connected() const { return connected_; }
    const std::string& receivedText() const;
    void clearReceivedText();

    // The poll; the front end calls poll() on each of its ticks, under its
    // own failure guard.
    QTimer& pollTimer() { return pollTimer_; }

    // Connect: a no-op while connected. Otherwise tells opening(), reads the
    // settings, opens the port, starts the poll and sets the flag. A port
    // that cannot be opened throws UserError after opening() and leaves the
    // poll off and the flag clear.
    void connectPort();
    // Disconnect: a no-op while not connected.
    void disconnectPort();
    // Send: writes the command field and a carriage return; dropped silently
    // while not connected. A line that takes no data for the write limit
    // throws LineDropped ("Die Leitung nimmt keine Daten an") and stays
    // connected: flow control may let it go on, and the user decides.
    void send();
    // Writes the bytes without a carriage return, and no sent line is told
    // (the modem's escape); dropped silently while not connected.
    void sendBytes(std::string_view bytes);
    // The time a send may take (tests shorten it).
    void setWriteLimitMs(std::int64_t limitMs) { writeLimitMs_ = limitMs; }
    // Takes what has arrived and appends it to the received text, whose rule
    // drops a NUL byte alone (noise on the line) and keeps the bytes after it.
    void poll();

signals:
    // A command line went out (after it was written).
    void lineSent(const QByteArray& line);
    // A connect begins: whatever runs beside the poll (the window's capture
    // tick) starts here, so a connect that fails half way leaves it on.
    void opening();
    void connectedChanged(bool connected);

private:
    [[noreturn]] void reportDroppedLine();

    ReceivedText& received_;
    QTimer pollTimer_;
    std::function<ComPortSettings()> portSettings_;
    std::function<void()> beforeLineDrop_;
    std::string commandField_;
    std::string openedPort_; // "COM<n>" or the path of the port opened last, for messages
    bool connected_ = false;
    std::int64_t writeLimitMs_ = kSerialWriteLimitMs;
};
