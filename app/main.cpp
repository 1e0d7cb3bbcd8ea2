#include "application.h"
#include "programwindows.h"

int main(int argc, char* argv[]) {
    Application app(argc, argv);
    ProgramWindows windows;
    windows.mainWindow().show();
    return app.exec();
}
