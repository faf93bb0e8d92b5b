// The program's three windows as its start-up makes them: the main window,
// the data window and the COM window, created in this order and wired
// together (the main window drives the other two, the data window opens the
// port with the COM window's settings). The program's main and the tests
// that drive the windows as a user does build them here, so that what is
// tested is what runs.
#pragma once

#include "windows/Unit1.h"
#include "windows/Unit2.h"
#include "windows/Unit3.h"

struct ProgramWindows {
    // Declared in their order of creation. Connecting and disconnecting the
    // data window switches the main window's capture tick on and off.
    TForm1 form1;
    TForm2 form2;
    TForm3 form3;

    ProgramWindows();
    // Closes the port first: the windows go, the device is left as found.
    ~ProgramWindows();
    ProgramWindows(const ProgramWindows&) = delete;
    ProgramWindows& operator=(const ProgramWindows&) = delete;
};
