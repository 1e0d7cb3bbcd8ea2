#include "picturearea.h"

#include "application.h"
#include "fitrule.h"

#include <QMouseEvent>
#include <QPainter>

PictureArea::PictureArea(QWidget* parent) : QWidget(parent) {
    setCursor(Qt::PointingHandCursor);
}

PictureArea::Rendering PictureArea::render(const JpegPicture& picture) const {
    Rendering result;
    result.rect = fitPicture(picture.size(), size());
    result.scale =
        picture.hasJpegData() ? JpegCodec::scaleFor(picture.size(), result.rect.size()) : 8;
    // The same data at the same scale decodes to the same pixels: keep them.
    const bool same = picture.hasJpegData() && result.scale == m_rendering.scale &&
                      picture.jpegData() == m_picture.jpegData() && !m_rendering.decoded.isNull();
    result.decoded = same ? m_rendering.decoded : picture.toImage(result.rect.size());
    result.drawn = result.decoded.size() == result.rect.size()
                       ? result.decoded
                       : result.decoded.scaled(result.rect.size(), Qt::IgnoreAspectRatio,
                                               Qt::FastTransformation);
    return result;
}

void PictureArea::setPicture(const JpegPicture& picture) {
    if (picture.isEmpty()) {
        clear();
        return;
    }
    Rendering rendering = render(picture);
    m_picture = picture;
    m_rendering = std::move(rendering);
    m_rect = m_rendering.rect;
    update();
}

void PictureArea::clear() {
    m_picture = {};
    m_rendering = {};
    m_rect = {};
    update();
}

void PictureArea::resizeEvent(QResizeEvent*) {
    if (!hasPicture() || fitPicture(m_picture.size(), size()) == m_rect)
        return;
    runReported([this] {
        m_rendering = render(m_picture);
        m_rect = m_rendering.rect;
    });
    update();
}

void PictureArea::paintEvent(QPaintEvent*) {
    if (m_rendering.drawn.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(m_rect.topLeft(), m_rendering.drawn);
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
