// The program entry: creates the main window, the data window and the COM
// window in this order, shows the main window and runs the event loop.
#include "windows/Unit1.h"
#include "windows/Unit2.h"
#include "windows/Unit3.h"
#include "windows/program_setup.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    PrepareProgram();
    TForm1 form1;
    TForm2 form2;
    TForm3 form3;
    form1.setCompanionWindows(&form2, &form3);
    form2.setPortSettingsSource([&form3] { return form3.fields(); });
    form1.show();
    return application.exec();
}
