// The program entry: prepares the program, creates the main window, the data
// window and the COM window in this order, shows the main window and runs the
// event loop.
#include "windows/program_setup.h"
#include "windows/program_windows.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    PrepareProgram();
    ProgramWindows windows;
    windows.form1.show();
    return application.exec();
}
