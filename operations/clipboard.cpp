// Copying, cutting and pasting scores through the clipboard.

#include "application.h"
#include "commands.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QScopeGuard>

using namespace Qt::StringLiterals;

namespace {

// The current score's stored picture at full size: 24-bit colour, or 8 bits
// with a grey palette for a greyscale picture.
QImage clipboardBitmap(const JpegPicture& picture) {
    const QImage pixels = picture.toImage();
    if (pixels.format() != QImage::Format_Grayscale8)
        return pixels.convertToFormat(QImage::Format_RGB888);
    QList<QRgb> greys(256);
    for (int level = 0; level < 256; ++level)
        greys[level] = qRgb(level, level, level);
    return pixels.convertToFormat(QImage::Format_Indexed8, greys);
}

// The clipboard's picture, or a null image when it offers none or its
// picture cannot be read (garbage, too large, a transfer that timed out).
QImage offeredPicture() {
    const QMimeData* offered = QApplication::clipboard()->mimeData();
    return offered && offered->hasImage() ? QApplication::clipboard()->image() : QImage();
}

// The current score's picture, decoded, onto the clipboard (copy and cut).
void copyPictureToClipboard(const TForm1& window) {
    const QImage bitmap =
        clipboardBitmap(window.ADOQuery1.FieldByName(Columns::Picture).LoadPicture());
    QClipboard* clipboard = QApplication::clipboard();
    clipboard->clear();
    clipboard->setImage(bitmap);
}

} // namespace

namespace Commands {

void CopyToCBoardClick(TForm1& window) {
    if (!window.hasCurrentPicture()) {
        showMessage(u"当前没有可复制的图片!"_s);
        return;
    }
    copyPictureToClipboard(window);
}

void CutToCBoardClick(TForm1& window) {
    removeCurrentScore(window,
                       {u"当前没有可剪切的图片!"_s,
                        u"数据库中至少要保留一张图片，你不能剪切此图!"_s,
                        u"剪切的图片将在数据库中删除，确实要删除此图片吗？"_s},
                       [&window] { copyPictureToClipboard(window); });
}

void PasteFromCBoardClick(TForm1& window) {
    window.ADOQuery1.Edit();
    const auto release = qScopeGuard([&window] { window.Values.NameConfirmed = false; });
    const QImage offered = offeredPicture();
    if (offered.isNull()) {
        showMessage(u"剪贴板中没有二进制图片拷贝!"_s);
        return;
    }
    const JpegPicture saved = window.hasCurrentPicture()
                                  ? window.ADOQuery1.FieldByName(Columns::Picture).LoadPicture()
                                  : JpegPicture();
    JpegPicture picture = JpegPicture::fromBitmap(offered);
    nameAndStoreNewScore(window, picture, saved, CountNewScore::AfterPost);
}

} // namespace Commands
