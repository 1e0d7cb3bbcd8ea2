#include "picturearea.h"

#include "application.h"
#include "fitrule.h"
#include "picturecache.h"

#include <QMouseEvent>
#include <QPainter>

PictureArea::PictureArea(QWidget* parent) : QWidget(parent) {
    setCursor(Qt::PointingHandCursor);
}

QImage PictureArea::decode(const JpegPicture& picture, QSize atLeast) const {
    return m_cache ? m_cache->decoded(picture, atLeast) : picture.toImage(atLeast);
}

PictureArea::Rendering PictureArea::render(const JpegPicture& picture) const {
    Rendering result;
    result.rect = fitPicture(picture.size(), size());
    const QImage decoded = decode(picture, result.rect.size());
    result.drawn =
        decoded.size() == result.rect.size()
            ? decoded
            : decoded.scaled(result.rect.size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
    return result;
}

void PictureArea::prepare(const JpegPicture& picture) {
    if (!picture.isEmpty())
        decode(picture, fitPicture(picture.size(), size()).size());
}

void PictureArea::setPicture(const JpegPicture& picture) {
    if (picture.isEmpty()) {
        clear();
        return;
    }
    Rendering rendering = render(picture);
    m_picture = picture;
    m_rendering = std::move(rendering);
    update();
}

void PictureArea::clear() {
    m_picture = {};
    m_rendering = {};
    update();
}

void PictureArea::resizeEvent(QResizeEvent*) {
    if (!hasPicture() || fitPicture(m_picture.size(), size()) == m_rendering.rect)
        return;
    runReported([this] { m_rendering = render(m_picture); });
    update();
}

void PictureArea::paintEvent(QPaintEvent*) {
    if (m_rendering.drawn.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(m_rendering.rect.topLeft(), m_rendering.drawn);
}

void PictureArea::mousePressEvent(QMouseEvent* event) {
    m_pressed = event->button() == Qt::LeftButton;
}

// A click is a left press and release inside the area.
void PictureArea::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = m_pressed && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    m_pressed = false;
    if (click)
        Q_EMIT clicked();
}
