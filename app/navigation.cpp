// Showing the current score and stepping through the scores.

#include "tform1.h"

using namespace Qt::StringLiterals;

void TForm1::DataSource1DataChange(const Field*) {
    if (!hasCurrentPicture()) {
        SpeedButton1->setEnabled(false);
        SpeedButton2->setEnabled(false);
        // A stored score without a page (written by another program): the
        // page before it must not stand under its name. A pending new score
        // keeps what the import or paste shows.
        if (ADOQuery1.State() == DataSetState::Browse)
            Image1->clear();
        return;
    }
    if (DBGrid1->movingByKey())
        m_pageWhereKeysStop.request();
    else
        showCurrentPicture();
    SpeedButton1->setEnabled(!ADOQuery1.Bof());
    SpeedButton2->setEnabled(ADOQuery1.Bof() || !ADOQuery1.Eof());
}

void TForm1::SpeedButton1Click() {
    if (!hasCurrentPicture())
        return;
    SpeedButton2->setEnabled(true);
    ADOQuery1.Open();
    ADOQuery1.Prior();
    showCurrentPicture();
    if (ADOQuery1.Bof())
        SpeedButton1->setEnabled(false);
}

void TForm1::SpeedButton2Click() {
    if (!hasCurrentPicture())
        return;
    SpeedButton1->setEnabled(true);
    ADOQuery1.Open();
    ADOQuery1.Next();
    showCurrentPicture();
    if (ADOQuery1.Eof())
        SpeedButton2->setEnabled(false);
}
