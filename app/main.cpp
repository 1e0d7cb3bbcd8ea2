#include "aboutbox.h"
#include "application.h"
#include "batchexportdialog.h"
#include "finddialog.h"
#include "namingdialog.h"
#include "newfolderdialog.h"
#include "newlibrarydialog.h"
#include "renamedialog.h"
#include "tform1.h"
#include "viewer.h"

int main(int argc, char* argv[]) {
    Application app(argc, argv);
    // The main window first: creating it opens the default library. The
    // other windows are made once and never shown; each command that needs
    // a dialog makes a fresh one.
    TForm1 form1;
    TForm2 form2(form1.Values);
    TForm3 form3(form1.DataSource1);
    TForm4 form4;
    TForm5 form5;
    TForm6 form6(form1);
    TForm7 form7(form1);
    TSaveManyPicDlg saveManyPicDlg;
    TInputDirDlg inputDirDlg;
    form1.show();
    return app.exec();
}
