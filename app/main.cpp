#include "platform/application.h"
#include "platform/program_folder.h"

#include <QMainWindow>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("Quorvane 1.04");
            return 0;
        }
    }
    Application app(argc, argv);
    QApplication::setApplicationDisplayName("Quorvane");
    platform::prepareProgramFolder();
    QMainWindow window;
    window.setWindowTitle("Quorvane");
    window.show();
    return app.exec();
}
