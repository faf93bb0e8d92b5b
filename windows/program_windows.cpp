#include "windows/program_windows.h"

ProgramWindows::ProgramWindows() {
    form1.setCompanionWindows(&form2, &form3);
    form2.setPortSettingsSource([this] { return form3.fields(); });
}

ProgramWindows::~ProgramWindows() {
    form2.Button3Click();
}
