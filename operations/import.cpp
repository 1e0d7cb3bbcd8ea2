// Importing a picture file as a new score.

#include "picturefile.h"
#include "picturefiledialog.h"
#include "tform1.h"

#include <QScopeGuard>

#include <optional>

using namespace Qt::StringLiterals;

void TForm1::LoadFormFileClick() {
    // Edit first, even when the file dialog is then cancelled: the pending
    // edit holds no change and the next move ends it.
    ADOQuery1.Edit();
    const QString file = OpenPictureDialog1->choose(this);
    if (file.isEmpty())
        return;
    bool confirmed = false;
    std::optional<PendingScore> score;
    {
        const auto release = qScopeGuard([this] { Values.NameConfirmed = false; });
        JpegPicture picture = loadPictureFile(file);
        const JpegPicture saved = hasCurrentPicture() ? Image1->picture() : JpegPicture();
        Image1->setPicture(picture);
        confirmed = askNewScoreName();
        if (confirmed) {
            score.emplace(*this);
            appendNewScore(picture);
            countNewScore();
        } else {
            restorePicture(saved);
        }
    }
    // Last, so that its display of the stored picture decides the buttons.
    if (confirmed) {
        ADOQuery1.Post();
        score->stored();
    }
}
