#include "picturearea.h"

#include "application.h"
#include "fitrule.h"
#include "picturecache.h"

#include <QMouseEvent>
#include <QPainter>

PictureArea::PictureArea(QWidget* parent) : QWidget(parent) {
    setCursor(Qt::PointingHandCursor);
}

QImage PictureArea::decode(const JpegPicture& picture) const {
    return m_cache ? m_cache->decoded(picture, {}) : picture.toImage();
}

// Every device pixel of the rectangle takes the nearest pixel of the whole
// picture: a thin line on a page is kept or dropped, never averaged to grey.
PictureArea::Rendering PictureArea::render(const JpegPicture& picture) const {
    Rendering result;
    result.rect = fitPicture(picture.size(), size());
    const qreal ratio = devicePixelRatioF();
    const QSize device = (QSizeF(result.rect.size()) * ratio).toSize();
    const QImage decoded = decode(picture);
    result.drawn = decoded.size() == device
                       ? decoded
                       : decoded.scaled(device, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    if (ratio != 1.0)
        result.drawn.setDevicePixelRatio(ratio);
    return result;
}

void PictureArea::prepare(const QList<JpegPicture>& pictures) {
    if (m_cache)
        m_cache->decodeAhead(pictures, {});
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
