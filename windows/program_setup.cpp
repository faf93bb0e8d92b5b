#include "windows/program_setup.h"

#include "platform/serial_device.h"
#include "windows/qt_translations.h"
#include "windows/window_clock.h"

void PrepareProgram() {
    // A port left exclusive by a terminated run would lock out the next one.
    ReleaseSerialDeviceOnTerminationSignals();
    LoadGermanQtTranslations();
    // The sequences' waits paint and answer instead of freezing the window.
    static WindowClock windowClock;
    SetClock(&windowClock);
}
