#include "picturearea.h"

#include "application.h"
#include "fitrule.h"
#include "picturecache.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

PictureArea::PictureArea(QWidget* parent) : QWidget(parent) {
    setCursor(Qt::PointingHandCursor);
}

// The rectangle in device pixels: where the screen is scaled, each of them
// takes a pixel of the picture of its own.
QSize PictureArea::deviceSize(QRect rect) const {
    return (QSizeF(rect.size()) * devicePixelRatioF()).toSize();
}

// Every device pixel of the rectangle takes the nearest pixel of the whole
// picture: a thin line on a page is kept or dropped, never averaged to grey.
PictureArea::Rendering PictureArea::render(const JpegPicture& picture) const {
    Rendering result;
    result.rect = fitPicture(picture.size(), size());
    const QSize device = deviceSize(result.rect);
    // An area shut to nothing draws nothing.
    if (device.isEmpty())
        return result;
    result.drawn = m_cache ? m_cache->fitted(picture, device) : picture.toFitted(device);
    if (devicePixelRatioF() != 1.0)
        result.drawn.setDevicePixelRatio(devicePixelRatioF());
    return result;
}

void PictureArea::prepare(const QList<JpegPicture>& pictures) {
    if (!m_cache)
        return;
    QList<std::pair<JpegPicture, QSize>> sized;
    for (const JpegPicture& picture : pictures)
        if (const QSize device = deviceSize(fitPicture(picture.size(), size())); !device.isEmpty())
            sized.append({picture, device});
    m_cache->drawAhead(sized);
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

// Only the part to be painted is handed over: in the viewer the picture may
// be far larger than the window, and a grey page would otherwise be turned
// into colour whole for every paint.
void PictureArea::paintEvent(QPaintEvent* event) {
    if (m_rendering.drawn.isNull())
        return;
    const QRect exposed = event->rect() & m_rendering.rect;
    if (exposed.isEmpty())
        return;
    const qreal ratio = m_rendering.drawn.devicePixelRatio();
    const QRect local = exposed.translated(-m_rendering.rect.topLeft());
    const QRectF source(QPointF(local.topLeft()) * ratio, QSizeF(local.size()) * ratio);
    QPainter painter(this);
    painter.drawImage(QRectF(exposed), m_rendering.drawn, source);
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
