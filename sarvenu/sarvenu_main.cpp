// The program entry: the application object, the main window, then the data
// store (which opens the tables), and the message loop.
#include "platform/library.h"
#include "shell/application.h"
#include "shell/main.h"

int main(int argc, char** argv) {
    sarvenu::TApplication app(argc, argv);
    sarvenu::TfrmMain frmMain(platform::ExecutableDirectory());
    app.SetMainForm(&frmMain);
    try {
        frmMain.CreateDataModule();
    } catch (const std::exception& error) {
        app.HandleException(error);
        return 1;
    }
    frmMain.show();
    return app.exec();
}
