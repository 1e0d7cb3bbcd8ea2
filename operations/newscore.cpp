// Naming and storing a new score: the part of the import that the paste shares.

#include "commands.h"
#include "namingdialog.h"

using namespace Qt::StringLiterals;

namespace {

// A new score from its append until its post has gone through. Should the
// command end before that, the new record is abandoned, so no later move
// writes it, and the count and the picture commands go back to what the
// library holds.
class PendingScore {
public:
    explicit PendingScore(TForm1& window) : m_window(window), m_count(window.Values.PictureCount) {
        for (const QObject* command : window.pictureCommands())
            m_commands.append(command->property("enabled").toBool());
    }
    ~PendingScore();
    PendingScore(const PendingScore&) = delete;
    PendingScore& operator=(const PendingScore&) = delete;
    void stored() { m_stored = true; }

private:
    TForm1& m_window;
    qint32 m_count;
    QList<bool> m_commands;
    bool m_stored = false;
};

PendingScore::~PendingScore() {
    if (m_stored)
        return;
    RecordSet& records = m_window.ADOQuery1;
    // Showing the record it goes back to may fail too; the failure that ended
    // the command is the one reported.
    try {
        if (records.State() == DataSetState::Insert)
            records.Cancel();
        if (!m_window.hasCurrentPicture())
            m_window.Image1->clear();
    } catch (const std::exception&) {
    }
    m_window.Values.PictureCount = m_count;
    m_window.showPictureCount();
    const QList<QObject*> commands = m_window.pictureCommands();
    for (qsizetype i = 0; i < commands.size(); ++i)
        commands[i]->setProperty("enabled", m_commands[i]);
}

void countNewScore(TForm1& window) {
    ++window.Values.PictureCount;
    window.showPictureCount();
    window.setControlsAfterAdding();
}

} // namespace

namespace Commands {

void nameAndStoreNewScore(TForm1& window, JpegPicture& picture, const JpegPicture& saved,
                          CountNewScore when) {
    window.Image1->setPicture(picture);
    TForm2 dialog(window.Values);
    dialog.Edit1->setText(u"图片"_s + QString::number(qint64(window.Values.PictureCount) + 1));
    dialog.showOver(&window);
    if (window.Values.NameConfirmed)
        storeNewScore(window, picture, when);
    else if (!window.hasCurrentPicture())
        window.Image1->clear();
    else
        window.Image1->setPicture(saved);
}

void storeNewScore(TForm1& window, JpegPicture& picture, CountNewScore when) {
    PendingScore score(window);
    // Encoded before the record starts, so a picture that cannot be encoded
    // leaves no half-filled record behind.
    picture.encode();
    RecordSet& records = window.ADOQuery1;
    records.Append();
    records.FieldByName(Columns::Name).SetAsString(window.Values.PendingName);
    records.FieldByName(Columns::Picture).StorePicture(picture);
    if (when == CountNewScore::BeforePost)
        countNewScore(window);
    records.Post();
    score.stored();
    if (when == CountNewScore::AfterPost)
        countNewScore(window);
}

} // namespace Commands
