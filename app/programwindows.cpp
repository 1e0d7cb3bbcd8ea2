#include "programwindows.h"

#include "aboutbox.h"
#include "application.h"
#include "batchexportdialog.h"
#include "commands.h"
#include "finddialog.h"
#include "namingdialog.h"
#include "newfolderdialog.h"
#include "newlibrarydialog.h"
#include "renamedialog.h"
#include "viewer.h"

#include <QEvent>

namespace {
WindowCommands programCommands() {
    WindowCommands commands = Commands::all();
    commands.SpeedButton6Click = Commands::SpeedButton6Click;
    return commands;
}
} // namespace

ProgramWindows::ProgramWindows() : m_main(std::make_unique<TForm1>(programCommands())) {
    m_main->installEventFilter(this);
}

bool ProgramWindows::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_main.get() && event->type() == QEvent::Paint) {
        m_main->removeEventFilter(this);
        m_makeOthers.request();
    }
    return false;
}

void ProgramWindows::makeOthers() {
    TForm1& form1 = *m_main;
    const auto make = [this](auto create) {
        runReported([&] { m_others.emplace_back(create()); });
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
}
