// drawpictures: draws the program's own pictures into resources/: the main
// window's icon (32 x 32, 32-bit and 256-colour), the dialog icon (72, 64, 48,
// 32 and 16 pixels), the about box's background (386 x 308 JPEG), and for the
// desktop's icon theme the program's icon and the library file's icon from 16
// to 256 pixels (hicolor/, laid out as the theme installs them). Run by hand
// when the pictures change; its output is kept in the repository.
//
//   drawpictures RESOURCES_DIR

#include "jpegpicture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTextStream>

#include <utility>

using namespace Qt::StringLiterals;

namespace {

// A classical guitar seen from the front, its body's centre at the bottom of
// a 100 x 100 square (drawn scaled into any size).
void drawGuitar(QPainter& p, bool withStrings) {
    const QColor wood(214, 140, 60), dark(120, 66, 24), neck(92, 52, 26);
    p.setRenderHint(QPainter::Antialiasing);
    // Neck and headstock.
    p.setPen(Qt::NoPen);
    p.setBrush(neck);
    p.drawRect(QRectF(45, 6, 10, 52));
    p.setBrush(dark);
    p.drawRoundedRect(QRectF(42, 0, 16, 12), 3, 3);
    // Body: two bouts and a waist.
    QPainterPath body;
    body.addEllipse(QRectF(28, 44, 44, 30));
    body.addEllipse(QRectF(20, 62, 60, 38));
    body.setFillRule(Qt::WindingFill);
    p.setBrush(wood);
    p.setPen(QPen(dark, 3));
    p.drawPath(body.simplified());
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 22, 10));
    p.drawEllipse(QPointF(50, 66), 9, 9);
    p.setBrush(dark);
    p.drawRect(QRectF(40, 84, 20, 4));
    if (withStrings) {
        p.setPen(QPen(QColor(240, 235, 220), 0.6));
        for (int s = 0; s < 6; ++s) {
            const double x = 46.5 + s * 1.4;
            p.drawLine(QPointF(x, 4), QPointF(x, 86));
        }
    }
}

// A page of score with a note on it, in a 100 x 100 square; a plain page
// without the staff and the note.
void drawScorePage(QPainter& p, bool withMusic) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(90, 90, 90), 3));
    p.setBrush(QColor(252, 250, 240));
    p.drawRoundedRect(QRectF(14, 4, 72, 92), 6, 6);
    if (!withMusic)
        return;
    p.setPen(QPen(QColor(40, 40, 40), 2.5));
    for (int line = 0; line < 5; ++line)
        p.drawLine(QPointF(22, 30 + line * 8), QPointF(78, 30 + line * 8));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(180, 30, 30));
    p.save();
    p.translate(42, 54);
    p.rotate(-20);
    p.drawEllipse(QRectF(-8, -5.5, 16, 11));
    p.restore();
    p.setPen(QPen(QColor(180, 30, 30), 3.5));
    p.drawLine(QPointF(49, 52), QPointF(49, 18));
    p.drawLine(QPointF(49, 18), QPointF(62, 26));
}

// A library file: a plain page behind a page of score, and the program's
// guitar in front of them.
void drawLibrary(QPainter& p) {
    for (const auto& [offset, withMusic] :
         {std::pair(QPointF(18, 0), false), std::pair(QPointF(0, 22), true)}) {
        p.save();
        p.translate(offset);
        p.scale(0.78, 0.78);
        drawScorePage(p, withMusic);
        p.restore();
    }
    p.translate(50, 44);
    p.scale(0.56, 0.56);
    drawGuitar(p, false);
}

template <typename Draw> QImage squareIcon(int size, Draw draw) {
    QImage icon(size, size, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    p.scale(size / 100.0, size / 100.0);
    draw(p);
    return icon;
}

QImage guitarIcon(int size, bool withStrings) {
    return squareIcon(size, [withStrings](QPainter& p) { drawGuitar(p, withStrings); });
}

// The dialog icon.
QImage scoreIcon(int size) {
    return squareIcon(size, [](QPainter& p) { drawScorePage(p, true); });
}

// The about box's background: dark wood on the right, where the white text
// stands, and a guitar on the left.
QImage aboutPicture() {
    QImage picture(386, 308, QImage::Format_RGB32);
    QPainter p(&picture);
    QLinearGradient wood(0, 0, 386, 308);
    wood.setColorAt(0, QColor(92, 52, 26));
    wood.setColorAt(1, QColor(36, 18, 8));
    p.fillRect(picture.rect(), wood);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(255, 255, 255, 18), 1));
    for (int y = 0; y < 308; y += 6)
        p.drawLine(0, y, 386, y + 40);
    QRadialGradient glow(QPointF(80, 170), 150);
    glow.setColorAt(0, QColor(255, 200, 120, 90));
    glow.setColorAt(1, QColor(255, 200, 120, 0));
    p.fillRect(picture.rect(), glow);
    p.save();
    p.translate(10, 20);
    p.scale(1.55, 2.7);
    drawGuitar(p, true);
    p.restore();
    p.setPen(QPen(QColor(240, 220, 180), 2));
    p.drawLine(170, 116, 366, 116);
    return picture;
}

bool save(const QImage& image, const QString& path) {
    if (QDir().mkpath(QFileInfo(path).path()) && image.save(path))
        return true;
    QTextStream(stderr) << "drawpictures: cannot write " << path << '\n';
    return false;
}

// The icon theme's sizes; below 32 pixels the strings would only blur the neck.
bool saveThemeIcons(const QDir& dir) {
    bool ok = true;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString folder = u"hicolor/%1x%1/"_s.arg(size);
        ok = ok && save(guitarIcon(size, size >= 32), dir.filePath(folder + u"apps/tamblor.png"_s));
        ok = ok && save(squareIcon(size, drawLibrary),
                        dir.filePath(folder + u"mimetypes/application-x-tamblor-library.png"_s));
    }
    return ok;
}

} // namespace

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    if (app.arguments().size() != 2) {
        QTextStream(stderr) << "usage: drawpictures RESOURCES_DIR\n";
        return 2;
    }
    const QDir dir(app.arguments()[1]);
    bool ok = save(guitarIcon(32, true), dir.filePath(u"icons/tamblor-32.png"_s));
    // The 256-colour form of the same icon.
    ok = ok &&
         save(guitarIcon(32, true).convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither),
              dir.filePath(u"icons/tamblor-8bit.png"_s));
    for (int size : {72, 64, 48, 32, 16})
        ok = ok && save(scoreIcon(size), dir.filePath(u"icons/dialog-%1.png"_s.arg(size)));
    QFile about(dir.filePath(u"about.jpg"_s));
    ok = ok && about.open(QIODevice::WriteOnly) &&
         about.write(JpegCodec::encode(aboutPicture())) > 0;
    ok = ok && saveThemeIcons(dir);
    return ok ? 0 : 1;
}
