#include "aboutbox.h"
#include "application.h"
#include "batchexportdialog.h"
#include "commands.h"
#include "finddialog.h"
#include "namingdialog.h"
#include "newfolderdialog.h"
#include "newlibrarydialog.h"
#include "renamedialog.h"
#include "tform1.h"
#include "viewer.h"

#include <memory>
#include <vector>

int main(int argc, char* argv[]) {
    Application app(argc, argv);
    // The main window first: creating it opens the default library. The
    // other windows are made once and never shown; each command that needs
    // a dialog makes a fresh one. A window that fails to be made is reported,
    // and start-up goes on.
    WindowCommands commands = Commands::all();
    commands.SpeedButton6Click = Commands::SpeedButton6Click;
    TForm1 form1(commands);
    std::vector<std::unique_ptr<QWidget>> windows;
    const auto make = [&windows](auto create) {
        runReported([&] { windows.emplace_back(create()); });
    };
    make([&] { return std::make_unique<TForm2>(form1.Values); });
    make([&] { return std::make_unique<TForm3>(form1.DataSource1); });
    make([] { return std::make_unique<TForm4>(); });
    make([] { return std::make_unique<TForm5>(); });
    make([&] { return std::make_unique<TForm6>(form1.ADOQuery1); });
    make([&] {
        return std::make_unique<TForm7>(
            [&form1](const QString& name) { return Commands::createLibrary(form1, name); });
    });
    make([&] { return std::make_unique<TSaveManyPicDlg>(form1.DataSource1); });
    make([] { return std::make_unique<TInputDirDlg>(); });
    form1.show();
    return app.exec();
}
