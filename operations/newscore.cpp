// Naming and storing a new score: the part of the import that the paste shares.

#include "namingdialog.h"
#include "tform1.h"

using namespace Qt::StringLiterals;

bool TForm1::askNewScoreName() {
    TForm2 dialog(Values);
    dialog.Edit1->setText(u"图片"_s + QString::number(qint64(Values.PictureCount) + 1));
    dialog.showOver(this);
    return Values.NameConfirmed;
}

void TForm1::appendNewScore(JpegPicture& picture) {
    // Encoded before the record starts, so a picture that cannot be encoded
    // leaves no half-filled record behind.
    picture.encode();
    ADOQuery1.Append();
    ADOQuery1.FieldByName(Columns::Name).SetAsString(Values.PendingName);
    ADOQuery1.FieldByName(Columns::Picture).StorePicture(picture);
}

void TForm1::countNewScore() {
    ++Values.PictureCount;
    showPictureCount();
    setControlsAfterAdding();
}

void TForm1::restorePicture(const JpegPicture& saved) {
    if (!hasCurrentPicture())
        Image1->clear();
    else
        Image1->setPicture(saved);
}

TForm1::PendingScore::PendingScore(TForm1& window)
    : m_window(window), m_count(window.Values.PictureCount) {
    for (const QObject* command : window.pictureCommands())
        m_commands.append(command->property("enabled").toBool());
}

TForm1::PendingScore::~PendingScore() {
    if (m_stored)
        return;
    TForm1& window = m_window;
    RecordSet& records = window.ADOQuery1;
    // Showing the record it goes back to may fail too; the failure that ended
    // the command is the one reported.
    try {
        if (records.State() == DataSetState::Insert)
            records.Cancel();
        if (!window.hasCurrentPicture())
            window.Image1->clear();
    } catch (const std::exception&) {
    }
    window.Values.PictureCount = m_count;
    window.showPictureCount();
    const QList<QObject*> commands = window.pictureCommands();
    for (qsizetype i = 0; i < commands.size(); ++i)
        commands[i]->setProperty("enabled", m_commands[i]);
}
