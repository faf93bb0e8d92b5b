// The program entry: creates the main window, the data window and the COM
// window in this order, shows the main window and runs the event loop.
#include "platform/files.h"
#include "windows/Unit1.h"

#include <QApplication>

int main(int argc, char** argv) {
    IgnoreFileSizeSignal();
    QApplication application(argc, argv);
    TForm1 form1;
    form1.show();
    return application.exec();
}
