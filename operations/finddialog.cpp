// Finding scores by a word of their name, and listing all of them again.

#include "finddialog.h"

#include "application.h"
#include "library.h"
#include "tform1.h"

#include <QScopeGuard>

using namespace Qt::StringLiterals;

void TForm1::FiltByNameClick() {
    TForm6 dialog(*this);
    dialog.showOver(this);
}

void TForm1::ShowAllClick() {
    listScores(Queries::allScores());
}

// The count label keeps its number: it counts the library, not the list.
void TForm1::listScores(const Queries::Query& query, const std::function<void()>& whenListed) {
    ADOQuery1.Open();
    ADOQuery1.SetSQL({});
    ADOQuery1.SetSQL(query.text, query.parameters);
    ADOQuery1.Open();
    const auto listed = qScopeGuard([&] {
        if (whenListed)
            whenListed();
    });
    if (!hasCurrentPicture())
        Image1->clear();
    else
        showCurrentPicture();
}

TForm6::TForm6(TForm1& window, QWidget* parent) : PlainDialog(parent), m_window(window) {
    setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(size());
    focusOnShow(Edit1);
    connectCommand(Button1, &QPushButton::clicked, this, &TForm6::Button1Click);
    connectCommand(Button2, &QPushButton::clicked, this, &TForm6::Button2Click);
}

void TForm6::Button1Click() {
    // Once the found scores are listed the dialog closes, even if showing the
    // first of them fails.
    m_window.listScores(Queries::namesContaining(Edit1->text()), [this] { close(); });
}

void TForm6::Button2Click() {
    close();
}
