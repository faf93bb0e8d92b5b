// The simulator's end of the line: a pseudo-terminal whose device the
// program opens as its serial port, and an optional symbolic link to it.
#pragma once

#include <string>

// Opens the pair and keeps a slave descriptor of its own, in raw mode, for
// as long as it lives: the master then never sees a hang-up when the
// program closes the port, and the call stays up until it reopens.
// Failures throw std::runtime_error with a German message.
class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    int master() const { return master_; } // non-blocking
    const std::string& devicePath() const { return devicePath_; }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string devicePath_;
};

// A symbolic link at linkPath pointing to target. An existing symbolic link
// there is replaced (a stale one from an earlier run, typically); anything
// else there is left alone and refused. The link is removed again on
// destruction, unless by then it points elsewhere (another simulator's).
class DeviceLink {
public:
    DeviceLink(std::string linkPath, std::string target);
    ~DeviceLink();
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;

private:
    std::string linkPath_;
    std::string target_;
};
