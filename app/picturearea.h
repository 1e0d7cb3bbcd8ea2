#pragma once

#include "jpegpicture.h"

class PictureCache;

#include <QImage>
#include <QWidget>

// The main window's picture area (Image1): keeps its own copy of the picture
// assigned to it and draws it by the fit rule, nearest pixel, centred; the
// black of the scroll box behind it shows around the picture.
//
// A JPEG picture is decoded whole, a row at a time, and drawn at the screen's
// device pixels.
// Decoding happens when the picture is assigned, so a picture that cannot be
// decoded fails there, while the area still shows the previous one.
class PictureArea : public QWidget {
    Q_OBJECT
public:
    explicit PictureArea(QWidget* parent = nullptr);

    // Decoded pictures are kept in `cache` (none: decoded each time).
    void setCache(PictureCache* cache) { m_cache = cache; }
    // An empty picture clears the area.
    void setPicture(const JpegPicture& picture);
    // Decodes `pictures` into the cache on a worker thread, without showing
    // them: pages that may be asked for next are then ready.
    void prepare(const QList<JpegPicture>& pictures);
    void clear();
    bool hasPicture() const { return !m_picture.isEmpty(); }
    const JpegPicture& picture() const { return m_picture; }
    // Where the picture is drawn now, in the area's own coordinates.
    QRect pictureRect() const { return m_rendering.rect; }

Q_SIGNALS:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    struct Rendering {
        QRect rect;
        QImage drawn; // at the rectangle's size
    };
    Rendering render(const JpegPicture& picture) const;
    QSize deviceSize(QRect rect) const;

    PictureCache* m_cache = nullptr;
    JpegPicture m_picture;
    Rendering m_rendering;
    bool m_pressed = false;
};
