// The three windows wired together as the program's start-up wires them, for
// tests that drive them the way the program does.
#pragma once

#include "ui_Unit3.h"
#include "windows/Unit1.h"
#include "windows/Unit2.h"
#include "windows/Unit3.h"

struct ProgramWindows {
    TForm1 form1;
    TForm2 form2;
    TForm3 form3;

    ProgramWindows() {
        form1.setCompanionWindows(&form2, &form3);
        form2.setPortSettingsSource([this] { return form3.fields(); });
    }
    ~ProgramWindows() { form2.Button3Click(); }

    void usePort(const QString& number) { form3.controls().Edit1->setText(number); }
};
