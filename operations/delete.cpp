// Deleting the current score; the cut takes the same road with its own texts.

#include "application.h"
#include "tform1.h"

#include <QScopeGuard>

using namespace Qt::StringLiterals;

void TForm1::DeleteFormDBClick() {
    removeCurrentScore({u"当前没有可删除的图片"_s, u"数据库中至少要保留一张图片，你不能删除此图!"_s,
                        u"你真的要从数据库中删除此图片吗？"_s});
}

void TForm1::removeCurrentScore(const RemovalTexts& texts,
                                const std::function<void()>& beforeRemoving) {
    const Field& picture = ADOQuery1.FieldByName(Columns::Picture);
    if (picture.IsNull()) {
        showMessage(texts.noPicture);
        return;
    }
    ADOQuery1.Open();
    // Counts the listed scores: after a find, the last one listed stays too.
    if (ADOQuery1.RecordCount() == 1) {
        showMessage(texts.lastScore);
        return;
    }
    if (!confirm(texts.question))
        return;
    if (beforeRemoving)
        beforeRemoving();
    // The count follows the delete even when the score that becomes current
    // cannot be shown.
    const int listed = ADOQuery1.RecordCount();
    const auto recount = qScopeGuard([this, listed] {
        if (ADOQuery1.Active() && ADOQuery1.RecordCount() < listed) {
            --Values.PictureCount;
            showPictureCount();
        }
    });
    ADOQuery1.Delete();
    Image1->setPicture(picture.IsNull() ? JpegPicture() : picture.LoadPicture());
}
