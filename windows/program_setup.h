// What the program sets up before its windows: the serial port left free
// for the next start should a signal end the process, Qt's own texts
// (dialogs, buttons) in German, and the clock whose waits keep the window
// alive.
#pragma once

// Call once the application object exists, before the windows are made.
void PrepareProgram();
