// Deleting the current score; the cut takes the same road with its own texts.

#include "application.h"
#include "commands.h"

#include <QScopeGuard>

using namespace Qt::StringLiterals;

namespace Commands {

void DeleteFormDBClick(TForm1& window) {
    removeCurrentScore(window,
                       {u"当前没有可删除的图片"_s, u"数据库中至少要保留一张图片，你不能删除此图!"_s,
                        u"你真的要从数据库中删除此图片吗？"_s});
}

void removeCurrentScore(TForm1& window, const RemovalTexts& texts,
                        const std::function<void()>& beforeRemoving) {
    RecordSet& records = window.ADOQuery1;
    Field& picture = records.FieldByName(Columns::Picture);
    if (picture.IsNull()) {
        showMessage(texts.noPicture);
        return;
    }
    records.Open();
    // Counts the listed scores: after a find, the last one listed stays too.
    if (records.RecordCount() == 1) {
        showMessage(texts.lastScore);
        return;
    }
    if (!confirm(texts.question))
        return;
    if (beforeRemoving)
        beforeRemoving();
    deleteCurrentScore(window);
}

void deleteCurrentScore(TForm1& window) {
    RecordSet& records = window.ADOQuery1;
    // The count follows the delete even when the score that becomes current
    // cannot be shown.
    const int listed = records.RecordCount();
    const auto recount = qScopeGuard([&window, &records, listed] {
        if (records.Active() && records.RecordCount() < listed) {
            --window.Values.PictureCount;
            window.showPictureCount();
        }
    });
    records.Delete();
    Field& picture = records.FieldByName(Columns::Picture);
    window.Image1->setPicture(picture.IsNull() ? JpegPicture() : picture.LoadPicture());
}

} // namespace Commands
