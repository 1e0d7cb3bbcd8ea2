// Finding scores by a word of their name, and listing all of them again.

#include "finddialog.h"

#include "application.h"
#include "commands.h"

namespace Commands {

// Requery, close, show: once the found scores are listed the dialog closes,
// and the first of them shows after it.
void FiltByNameClick(TForm1& window) {
    TForm6 dialog(window.ADOQuery1);
    dialog.showOver(&window);
    if (dialog.listed())
        window.showCurrentScore();
}

void ShowAllClick(TForm1& window) {
    listScores(window.ADOQuery1, Queries::allScores());
    window.showCurrentScore();
}

// The count label keeps its number: it counts the library, not the list.
void listScores(RecordSet& records, const Queries::Query& query) {
    records.Open();
    records.SetSQL({});
    records.SetSQL(query.text, query.parameters);
    records.Open();
}

} // namespace Commands

TForm6::TForm6(RecordSet& records, QWidget* parent) : PlainDialog(parent), m_records(records) {
    setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(size());
    focusOnShow(Edit1);
    connectCommand(Button1, &QPushButton::clicked, this, &TForm6::Button1Click);
    connectCommand(Button2, &QPushButton::clicked, this, &TForm6::Button2Click);
}

void TForm6::Button1Click() {
    Commands::listScores(m_records, Queries::namesContaining(Edit1->text()));
    m_listed = true;
    close();
}

void TForm6::Button2Click() {
    close();
}
